#include "runtime/atomic_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/value.hpp"

namespace kelvane::runtime {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fileError(const fs::path& path, const std::string& what, int err) {
  throw Error("File " + path.string() + ": " + what + ": " + std::strerror(err));
}

// Creates a new temporary file beside `path` and returns its descriptor (open for writing).
int createTemporary(const fs::path& path, fs::path& tmp) {
  static std::atomic<unsigned> counter{0};
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = dir / ("." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter++));
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) fileError(path, "cannot be created", errno);
  }
  fileError(path, "cannot find a free temporary name", EEXIST);
}

// Flushes and closes `fd`, renames `tmp` over `path` and syncs the folder.
void commit(int fd, const fs::path& tmp, const fs::path& path) {
  if (::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    fileError(path, "cannot be flushed to disk", err);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    fileError(path, "cannot be closed", err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    fileError(path, "cannot be replaced", err);
  }
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);  // the rename is durable once the folder is; a folder that refuses is no error
    ::close(dfd);
  }
}

}  // namespace

void writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
  fs::path tmp;
  const int fd = createTemporary(path, tmp);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      fileError(path, "cannot be written", err);
    }
    done += static_cast<std::size_t>(n);
  }
  commit(fd, tmp, path);
}

void replaceFileAtomically(const fs::path& path,
                           const std::function<void(const fs::path& temporary)>& write) {
  fs::path tmp;
  int fd = createTemporary(path, tmp);
  ::close(fd);
  try {
    write(tmp);
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
  fd = ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    fileError(path, "cannot be reopened to flush", err);
  }
  commit(fd, tmp, path);
}

}  // namespace kelvane::runtime
