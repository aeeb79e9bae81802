// Replacing a file so that a failed or interrupted write never destroys the previous one: the
// data goes to a temporary file in the same folder, is flushed to disk and renamed over the old
// file, and the folder is synced. And the lock a read-change-write of a file holds, so that two
// programs changing the same file at once do not lose one change.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace kelvane::runtime {

// Replaces `path` with `bytes`. Throws runtime::Error naming the file and the cause; the old
// file is then untouched and no temporary file is left. Both ways of replacing a file:
// - write through a symbolic link to the file it names (the link stays a link);
// - keep the replaced file's permission bits (a new file gets 0666 less the umask);
// - name the temporary file ".NAME.tmp-HOST-PID-N" and first remove from the folder those that
//   processes of this computer (HOST) left when they were killed while writing: their process
//   PID no longer runs. A temporary file whose process still runs is left alone.
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Replaces `path` with what `write` puts into the (empty, existing) temporary file whose path it
// is given, for writers that open files by name. An exception from `write` removes the
// temporary file and propagates.
void replaceFileAtomically(
    const std::filesystem::path& path,
    const std::function<void(const std::filesystem::path& temporary)>& write);

// `path` with symbolic links followed to the file they finally name (which need not exist), or
// `path` itself when it is no link: a link "defaults.mat" to "store/a.mat" gives "store/a.mat".
// Throws runtime::Error after 40 links.
std::filesystem::path linkTarget(const std::filesystem::path& path);

// How long a FileLock waits for another program to finish with the file.
inline constexpr std::chrono::milliseconds kLockTimeout{10000};

// An advisory lock held for a whole read-change-write of a file, so that concurrent processes
// (and threads) changing it take turns. It is an flock of the lock file ".NAME.lock" beside the
// file (a symbolic link's target), which is created once and left in place so that every
// program locks the same file. Locking a file again in the thread that holds it nests. Waits at
// most `timeout` for another holder, then throws runtime::Error ("File defaults.mat: another
// program is changing it; gave up waiting for its lock after 10 s"); a lock file that cannot
// be created (a read-only folder) also throws. Example:
//   const FileLock lock("defaults.mat");  // then read, change and write defaults.mat
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& file,
                    std::chrono::milliseconds timeout = kLockTimeout);
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock& operator=(FileLock&&) = delete;

 private:
  std::string key_;  // the lock file's absolute path; empty once moved from
};

}  // namespace kelvane::runtime
