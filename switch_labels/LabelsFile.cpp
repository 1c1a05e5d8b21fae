#include "switch_labels/LabelsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace switch_labels {
namespace {

namespace fs = std::filesystem;

// Owns a file descriptor; closes it unless close() was called already.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // For written files: a failing close can be the first news of a lost write.
  int close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

std::string Describe(const fs::path& path, std::string_view what) {
  return path.string() + ": " + std::string(what);
}
std::string DescribeErrno(const fs::path& path, int error) { return Describe(path, std::strerror(error)); }

// A slow device or pipe could block on open: open without waiting, then
// wait as usual for the reads and writes themselves.
void ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// Writes all of `bytes`; 0 or the errno of the failure.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

WriteResult Failed(const fs::path& path, int error) {
  return WriteResult{LabelsError::kCannotWrite, DescribeErrno(path, error)};
}

// A device or pipe chosen by name: replacing it with a regular file would be
// wrong, so the bytes go into it.
WriteResult WriteInto(const fs::path& target, std::string_view bytes, const fs::path& shown) {
  FileDescriptor file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) return Failed(shown, errno);
  ClearNonBlocking(file.get());
  if (const int error = WriteAll(file.get(), bytes)) return Failed(shown, error);
  if (file.close() != 0) return Failed(shown, errno);
  return {};
}

// A fresh name beside the target. Hidden and short: the dialog does not list
// it, and a long target name cannot push it past the name length limit.
FileDescriptor CreateTemporary(const fs::path& directory, fs::path& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = directory / (".zelmora-labels-" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1)) + ".tmp");
    FileDescriptor file(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.valid() || errno != EEXIST) return file;
  }
  errno = EEXIST;
  return FileDescriptor(-1);
}

void SyncDirectory(const fs::path& directory) {
  // Makes the rename itself durable; the new content is already on disk, so
  // a failure here loses nothing the user could act on.
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

WriteResult ReplaceAtomically(const fs::path& target, std::string_view bytes, const struct stat* old,
                              const fs::path& shown) {
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  fs::path temporary;
  FileDescriptor file = CreateTemporary(directory, temporary);
  if (!file.valid()) return Failed(shown, errno);

  if (old) {
    // Best effort: the new file keeps the old one's owner and permissions.
    if (::fchown(file.get(), old->st_uid, old->st_gid) != 0) {
      // Only root may give a file away; the file stays the user's own.
    }
    if (::fchmod(file.get(), old->st_mode & 07777) != 0) {
      // Then it keeps the permissions a new file gets.
    }
  }
  int error = WriteAll(file.get(), bytes);
  if (error == 0 && ::fsync(file.get()) != 0) error = errno;
  if (file.close() != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return Failed(shown, error);
  }
  SyncDirectory(directory);
  return {};
}

// Where a save through `path` lands: the end of its chain of symbolic links,
// whether that file exists yet or not. (fs::canonical fails on a link to a
// file not made yet, and the rename would then replace the link itself.)
// 0 or the errno of the failure; a loop of links gives ELOOP, as open would.
int FollowLinks(fs::path path, fs::path& target) {
  constexpr int kMaxLinks = 40;  // Linux's own limit
  for (int links = 0; links <= kMaxLinks; ++links) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return ec.value();
    if (!fs::is_symlink(status)) {
      target = std::move(path);
      return 0;
    }
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) return ec.value();
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return ELOOP;
}

}  // namespace

DecodeResult ReadLabelsFile(const fs::path& path, std::string_view headerWord) {
  DecodeResult result;
  const auto fail = [&](LabelsError error, std::string detail) {
    result.error = error;
    result.detail = std::move(detail);
    return result;
  };

  // Without O_NONBLOCK, opening a named pipe would wait for a writer forever.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) return fail(LabelsError::kCannotOpen, DescribeErrno(path, errno));
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return fail(LabelsError::kCannotRead, DescribeErrno(path, errno));
  if (S_ISDIR(info.st_mode)) return fail(LabelsError::kCannotRead, DescribeErrno(path, EISDIR));
  if (!S_ISREG(info.st_mode)) return fail(LabelsError::kCannotRead, Describe(path, "not a regular file"));
  ClearNonBlocking(file.get());

  // The size on record can be wrong (files under /proc say 0), so read to
  // the end, but never more than one byte past the limit.
  std::string bytes;
  constexpr std::size_t kLimit = kMaxFileSize + 1;
  constexpr std::size_t kChunk = 64 * 1024;
  while (bytes.size() < kLimit) {
    const std::size_t used = bytes.size();
    bytes.resize(std::min(used + kChunk, kLimit));
    const ssize_t got = ::read(file.get(), bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) {
        bytes.resize(used);
        continue;
      }
      return fail(LabelsError::kCannotRead, DescribeErrno(path, errno));
    }
    bytes.resize(used + static_cast<std::size_t>(got));
    if (got == 0) break;
  }

  result = DecodeLabels(bytes, headerWord);
  if (!result.detail.empty()) result.detail = Describe(path, result.detail);
  return result;
}

WriteResult WriteLabelsFile(const fs::path& path, const Labels& labels) {
  const std::string bytes = EncodeLabels(labels);
  fs::path target;
  if (const int error = FollowLinks(path, target)) return Failed(path, error);
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) {
    return ReplaceAtomically(target, bytes, nullptr, path);
  }
  if (!S_ISREG(old.st_mode)) return WriteInto(target, bytes, path);
  // The rename would replace a file the user made read-only: refuse, as
  // writing into it would.
  if (::access(target.c_str(), W_OK) != 0) return Failed(path, errno);
  return ReplaceAtomically(target, bytes, &old, path);
}

}  // namespace switch_labels
