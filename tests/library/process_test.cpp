// The programs' heap settings, in a child process of their own: a new heap on huge pages.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "library/process.hpp"

namespace kelvane::library {
namespace {

long minorFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// The VmFlags line of the mapping that holds `p`, from /proc/self/smaps.
std::string flagsOfMappingAt(const void* p) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t lo = 0, hi = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> lo >> dash >> hi && dash == '-') inside = lo <= at && at < hi;
    if (inside && line.rfind("VmFlags:", 0) == 0) return line;
  }
  return "";
}

bool kernelGivesHugePagesOnRequest() {
  std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string setting;
  std::getline(f, setting);
  return setting.find("[never]") == std::string::npos && !setting.empty();
}

// What a new process does first: the settings, then its first 8 MiB of heap written in blocks of
// hundreds of kilobytes, as the coding's vectors are. On huge pages that is a few faults instead
// of 2048. Exits with 0 when it holds, else prints what did not.
[[noreturn]] void firstHeapOfANewProcess() {
  // Take up the free heap left by the test program, as a new process has next to none.
  std::vector<void*> taken;
  for (int i = 0; i < 64; ++i)
    taken.push_back(std::malloc(16 << 10));
  keepFreedMemoryForReuse();
  keepFreedMemoryForReuse();  // a second call changes nothing
  constexpr std::size_t kBlock = 512 << 10, kBlocks = 16;
  std::vector<char*> blocks;
  const long before = minorFaults();
  for (std::size_t i = 0; i < kBlocks; ++i) {
    blocks.push_back(static_cast<char*>(std::malloc(kBlock)));
    std::memset(blocks.back(), 1, kBlock);
  }
  const long faults = minorFaults() - before;
  int failed = 0;
  const std::string flags = flagsOfMappingAt(blocks.front());
  if (flags.find(" hg") == std::string::npos) {
    std::cerr << "the heap is not marked for huge pages: " << flags << '\n';
    failed = 1;
  }
  if (kernelGivesHugePagesOnRequest() && faults > 64) {
    std::cerr << faults << " page faults for 8 MiB of heap\n";
    failed = 1;
  }
  // Freed blocks stay in the heap for the next ones.
  for (char* b : blocks)
    std::free(b);
  const long reused = minorFaults();
  for (std::size_t i = 0; i < kBlocks; ++i)
    std::memset(blocks[i] = static_cast<char*>(std::malloc(kBlock)), 2, kBlock);
  if (minorFaults() - reused > 8) {
    std::cerr << minorFaults() - reused << " page faults for reused heap\n";
    failed = 1;
  }
  std::exit(failed);
}

TEST(ProcessHeap, ANewProcessWritesItsFirstHeapOnHugePages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers bring their own allocator: only the thresholds are set, and memory still works.
  keepFreedMemoryForReuse();
  std::vector<char> v(1 << 20, 1);
  EXPECT_EQ(v.back(), 1);
#else
  EXPECT_EXIT(firstHeapOfANewProcess(), testing::ExitedWithCode(0), "^$");
#endif
}

}  // namespace
}  // namespace kelvane::library
