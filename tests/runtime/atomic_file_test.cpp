#include "runtime/atomic_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "runtime/value.hpp"

namespace kelvane::runtime {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const fs::path dir = fs::temp_directory_path() / ("kelvane-atomic-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path p = dir / "wave.bin";
  const std::uint8_t first[] = {1, 2, 3};
  writeFileAtomically(p, first);
  EXPECT_EQ(slurp(p), std::string("\x01\x02\x03", 3));

  EXPECT_THROW(replaceFileAtomically(p,
                                     [](const fs::path& tmp) {
                                       std::ofstream(tmp) << "half written";
                                       throw Error("disk full");
                                     }),
               Error);
  EXPECT_EQ(slurp(p), std::string("\x01\x02\x03", 3));
  replaceFileAtomically(p, [](const fs::path& tmp) { std::ofstream(tmp) << "second"; });
  EXPECT_EQ(slurp(p), "second");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
    ++files;
  EXPECT_EQ(files, 1u);
  // A folder that does not exist is an error naming the file.
  try {
    writeFileAtomically(dir / "missing" / "x.bin", first);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("x.bin"), std::string::npos);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kelvane::runtime
