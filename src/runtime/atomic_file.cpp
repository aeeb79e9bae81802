#include "runtime/atomic_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "runtime/value.hpp"

namespace kelvane::runtime {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fileError(const fs::path& path, const std::string& what, int err) {
  throw Error("File " + path.string() + ": " + what + ": " + std::strerror(err));
}

fs::path folderOf(const fs::path& path) {
  return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

const std::string& hostName() {
  static const std::string name = [] {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return std::string("localhost");
    return std::string(host);
  }();
  return name;
}

std::optional<long> wholeNumber(std::string_view digits) {
  long n = 0;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return n;
}

// Whether `name` is a temporary file of ours, ".NAME.tmp-HOST-PID-N" (or ".NAME.tmp-PID-N" of
// earlier versions), whose writer was a process of this computer that no longer runs.
bool isStaleTemporary(const std::string& name) {
  const auto at = name.rfind(".tmp-");
  if (name.empty() || name[0] != '.' || at == std::string::npos || at < 2) return false;
  const std::string_view tail = std::string_view(name).substr(at + 5);
  const auto last = tail.rfind('-');
  if (last == std::string_view::npos || last == 0) return false;
  const auto before = tail.rfind('-', last - 1);
  const std::size_t pidStart = before == std::string_view::npos ? 0 : before + 1;
  const auto counter = wholeNumber(tail.substr(last + 1));
  const auto pid = wholeNumber(tail.substr(pidStart, last - pidStart));
  if (!counter || !pid || *pid <= 0 || *pid == ::getpid()) return false;
  if (before != std::string_view::npos && tail.substr(0, before) != hostName()) return false;
  return ::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH;
}

// Removes the temporary files that killed writers left in `dir`; a folder that cannot be listed
// is no error (the write itself will say what is wrong).
void removeStaleTemporaries(const fs::path& dir) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (isStaleTemporary(name)) ::unlink((dir / name).c_str());
  }
}

// A temporary file beside the file it will replace, open for writing, and the permission bits
// the replaced file had (none for a new file).
struct Temporary {
  fs::path path;
  int fd = -1;
  std::optional<mode_t> keepMode;
};

Temporary createTemporary(const fs::path& path, const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const fs::path dir = folderOf(target);
  removeStaleTemporaries(dir);
  Temporary t;
  if (struct stat st{}; ::stat(target.c_str(), &st) == 0) t.keepMode = st.st_mode & 07777;
  // Private until it takes the old file's bits; a new file gets 0666 less the umask.
  const mode_t mode = t.keepMode ? 0600 : 0666;
  for (int attempt = 0; attempt < 100; ++attempt) {
    t.path = dir / ("." + target.filename().string() + ".tmp-" + hostName() + "-" +
                    std::to_string(::getpid()) + "-" + std::to_string(counter++));
    t.fd = ::open(t.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (t.fd >= 0) return t;
    if (errno != EEXIST) fileError(path, "cannot be created", errno);
  }
  fileError(path, "cannot find a free temporary name", EEXIST);
}

[[noreturn]] void abandon(const Temporary& t, const fs::path& path, const std::string& what,
                          int err) {
  ::close(t.fd);
  ::unlink(t.path.c_str());
  fileError(path, what, err);
}

// Gives the temporary file the old file's permission bits, flushes and closes it, renames it
// over `target` and syncs the folder.
void commit(const Temporary& t, const fs::path& path, const fs::path& target) {
  if (t.keepMode && ::fchmod(t.fd, *t.keepMode) != 0)
    abandon(t, path, "cannot keep its permissions", errno);
  if (::fsync(t.fd) != 0) abandon(t, path, "cannot be flushed to disk", errno);
  if (::close(t.fd) != 0) {
    const int err = errno;
    ::unlink(t.path.c_str());
    fileError(path, "cannot be closed", err);
  }
  if (::rename(t.path.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(t.path.c_str());
    fileError(path, "cannot be replaced", err);
  }
  if (const int dfd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dfd >= 0) {
    ::fsync(dfd);  // the rename is durable once the folder is; a folder that refuses is no error
    ::close(dfd);
  }
}

}  // namespace

fs::path linkTarget(const fs::path& path) {
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) return p;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  throw Error("File " + path.string() + ": too many levels of symbolic links");
}

void writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
  const fs::path target = linkTarget(path);
  const Temporary t = createTemporary(path, target);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(t.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon(t, path, "cannot be written", errno);
    }
    done += static_cast<std::size_t>(n);
  }
  commit(t, path, target);
}

void replaceFileAtomically(const fs::path& path,
                           const std::function<void(const fs::path& temporary)>& write) {
  const fs::path target = linkTarget(path);
  Temporary t = createTemporary(path, target);
  ::close(t.fd);
  try {
    write(t.path);
  } catch (...) {
    ::unlink(t.path.c_str());
    throw;
  }
  t.fd = ::open(t.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (t.fd < 0) {
    const int err = errno;
    ::unlink(t.path.c_str());
    fileError(path, "cannot be reopened to flush", err);
  }
  commit(t, path, target);
}

// ---- locks ----------------------------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

// The locks this process holds, by lock file: the flock's descriptor, the thread holding it and
// how often it has taken it.
struct HeldLock {
  int fd = -1;
  std::thread::id owner;
  int count = 0;
};

std::mutex heldMutex;
std::condition_variable heldReleased;
std::map<std::string, HeldLock>& heldLocks() {
  static std::map<std::string, HeldLock> held;
  return held;
}

enum class Entry { Nested, TakeFileLock, TimedOut };

// Registers this thread as the holder of the lock `key`, waiting until `deadline` for another
// thread of this process that holds it.
Entry enterProcessLock(const std::string& key, Clock::time_point deadline) {
  std::unique_lock lock(heldMutex);
  auto& held = heldLocks();
  const auto me = std::this_thread::get_id();
  while (true) {
    const auto it = held.find(key);
    if (it == held.end()) {
      held[key] = HeldLock{-1, me, 1};
      return Entry::TakeFileLock;
    }
    if (it->second.owner == me) {
      ++it->second.count;
      return Entry::Nested;
    }
    if (heldReleased.wait_until(lock, deadline) == std::cv_status::timeout && held.count(key) != 0)
      return Entry::TimedOut;
  }
}

void leaveProcessLock(const std::string& key) {
  std::lock_guard lock(heldMutex);
  auto& held = heldLocks();
  const auto it = held.find(key);
  if (it == held.end() || --it->second.count > 0) return;
  if (it->second.fd >= 0) ::close(it->second.fd);  // releases the flock
  held.erase(it);
  heldReleased.notify_all();
}

// The flock of `lockFile`, polled until `deadline`; -1 when another program held it throughout.
int takeFileLock(const fs::path& file, const fs::path& lockFile, Clock::time_point deadline) {
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fileError(file, "cannot be locked (" + lockFile.string() + ")", errno);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK) {
      ::close(fd);
      fileError(file, "cannot be locked (" + lockFile.string() + ")", err);
    }
    if (Clock::now() >= deadline) {
      ::close(fd);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return fd;
}

}  // namespace

FileLock::FileLock(const fs::path& file, std::chrono::milliseconds timeout) {
  const fs::path target = linkTarget(file);
  const fs::path lockFile = target.parent_path() / ("." + target.filename().string() + ".lock");
  const std::string key = fs::absolute(lockFile).lexically_normal().string();
  const auto deadline = Clock::now() + timeout;
  const std::string busy =
      "File " + file.string() + ": another program is changing it; gave up waiting for its lock " +
      lockFile.string() + " after " + std::to_string((timeout.count() + 999) / 1000) + " s";
  const Entry entry = enterProcessLock(key, deadline);
  if (entry == Entry::TimedOut) throw Error(busy);
  key_ = key;
  if (entry == Entry::Nested) return;
  int fd = -1;
  try {
    fd = takeFileLock(file, lockFile, deadline);
  } catch (...) {
    leaveProcessLock(key_);
    throw;
  }
  if (fd < 0) {
    leaveProcessLock(key_);
    throw Error(busy);
  }
  std::lock_guard lock(heldMutex);
  heldLocks()[key_].fd = fd;
}

FileLock::FileLock(FileLock&& other) noexcept : key_(std::move(other.key_)) {
  other.key_.clear();
}

FileLock::~FileLock() {
  if (!key_.empty()) leaveProcessLock(key_);
}

}  // namespace kelvane::runtime
