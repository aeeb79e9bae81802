#include "runtime/atomic_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

class AtomicFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kelvane-atomic-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path dir_;
};

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

TEST_F(AtomicFolder, ReplacementKeepsThePermissionBits) {
  const fs::path p = dir_ / "defaults.mat";
  const std::uint8_t bytes[] = {1, 2};
  for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0444}, mode_t{0755}}) {
    writeFileAtomically(p, bytes);
    ::chmod(p.c_str(), mode);
    writeFileAtomically(p, bytes);
    EXPECT_EQ(modeOf(p), mode) << std::oct << mode;
    replaceFileAtomically(p, [](const fs::path& tmp) { std::ofstream(tmp) << "x"; });
    EXPECT_EQ(modeOf(p), mode) << std::oct << mode;
    fs::remove(p);
  }
}

TEST_F(AtomicFolder, ASymbolicLinkIsWrittenThroughToItsTarget) {
  fs::create_directories(dir_ / "store");
  const fs::path target = dir_ / "store" / "station.mat";
  const fs::path link = dir_ / "defaults.mat";
  std::ofstream(target) << "old";
  fs::create_symlink("store/station.mat", link);  // relative to the link's folder
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  writeFileAtomically(link, bytes);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(target), "new");
  replaceFileAtomically(link, [](const fs::path& tmp) { std::ofstream(tmp) << "newer"; });
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(target), "newer");
  // A link whose target does not exist yet creates the target.
  fs::remove(target);
  writeFileAtomically(link, bytes);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(slurp(target), "new");
  EXPECT_EQ(names(), (std::vector<std::string>{"defaults.mat", "store"}));
}

// The pid of a process that has ended.
pid_t deadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

std::string hostName() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  return host;
}

TEST_F(AtomicFolder, StaleTemporariesOfEndedProcessesAreRemovedOnTheNextWrite) {
  const std::string dead = std::to_string(deadPid());
  const std::string alive = std::to_string(::getppid());
  const std::string host = hostName();
  const std::vector<std::string> stale = {
      ".defaults.mat.tmp-" + dead + "-0",               // an earlier version's name
      ".defaults.mat.tmp-" + host + "-" + dead + "-3",  // this version's name
      ".run.mat.tmp-" + host + "-" + dead + "-12",      // another file of the folder
  };
  const std::vector<std::string> kept = {
      ".defaults.mat.tmp-" + alive + "-0",  // its process is still running
      ".defaults.mat.tmp-" + host + "-" + alive + "-1",
      ".defaults.mat.tmp-other.host-" + dead + "-1",  // written from another computer
      ".defaults.mat.tmp-x",                          // not of the pattern
      "notes.tmp-" + dead + "-0",
  };
  for (const auto& n : stale)
    std::ofstream(dir_ / n) << "half";
  for (const auto& n : kept)
    std::ofstream(dir_ / n) << "keep";
  const std::uint8_t bytes[] = {1};
  writeFileAtomically(dir_ / "wave.bin", bytes);
  std::vector<std::string> expected = kept;
  expected.push_back("wave.bin");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names(), expected);
}

// The lock is an flock of ".NAME.lock": another program holding it makes a FileLock wait, then
// give up with a message; in the thread that holds it, it nests.
TEST_F(AtomicFolder, ALockNestsInItsThreadAndGivesUpOnAnotherHolder) {
  const fs::path p = dir_ / "defaults.mat";
  const fs::path lockFile = dir_ / ".defaults.mat.lock";
  auto heldElsewhere = [&] {  // whether an flock from another open file would have to wait
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
    const bool busy = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0) ::close(fd);
    return busy;
  };
  {
    const FileLock outer(p);
    {
      const FileLock inner(p);
      EXPECT_TRUE(heldElsewhere());
    }
    EXPECT_TRUE(heldElsewhere());  // the outer lock still holds
  }
  EXPECT_FALSE(heldElsewhere());

  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const auto start = std::chrono::steady_clock::now();
  try {
    const FileLock lock(p, std::chrono::milliseconds(300));
    ADD_FAILURE() << "took a lock another program holds";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("another program is changing it"), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("defaults.mat"), std::string::npos) << e.what();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(5));
  ::close(fd);
  EXPECT_NO_THROW(FileLock(p, std::chrono::milliseconds(300)));
  // A folder without the file yet, through a link: the lock is the target's.
  fs::create_symlink("defaults.mat", dir_ / "link.mat");
  const FileLock viaLink(dir_ / "link.mat");
  EXPECT_TRUE(heldElsewhere());
}

// Threads of one program take turns as processes do: no read-change-write is lost.
TEST_F(AtomicFolder, LockedReadChangeWritesOfThreadsLoseNothing) {
  const fs::path p = dir_ / "count.txt";
  std::ofstream(p) << 0;
  auto bump = [&] {
    for (int i = 0; i < 50; ++i) {
      const FileLock lock(p);
      const int n = std::stoi(slurp(p));
      const std::string next = std::to_string(n + 1);
      writeFileAtomically(
          p, std::span(reinterpret_cast<const std::uint8_t*>(next.data()), next.size()));
    }
  };
  std::thread a(bump), b(bump);
  a.join();
  b.join();
  EXPECT_EQ(slurp(p), "100");
}

}  // namespace
}  // namespace kelvane::runtime
