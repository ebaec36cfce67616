#include "document/DocumentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "core/Errors.h"
#include "core/LargeBlocks.h"

namespace deckhand {

namespace {

// The reason given for pipes, sockets and devices, which have no errno of
// their own: reading one could block or never end, writing one is no save.
const char kNotRegularFile[] = "Not a regular file";
// Links followed before giving up, as the kernel does with ELOOP.
const int kMaxLinkDepth = 40;
// Files up to this size are read whole before looking for a NUL; larger
// ones this much first, so that a huge binary file whose first NUL comes
// early costs little memory.
const size_t kFirstRead = size_t{64} << 20;
// The least a full text grows by while its file turns out longer than its
// size said.
const size_t kMinGrowth = size_t{64} << 10;

// The folder part of a native path with its final slash ("a/b/" of
// "a/b/c"), or nothing for a bare name.
QByteArray FolderPrefix(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  return slash < 0 ? QByteArray() : path.left(slash + 1);
}

QByteArray FolderOf(const QByteArray& path) {
  const QByteArray prefix = FolderPrefix(path);
  if (prefix.isEmpty()) return ".";
  return prefix.size() == 1 ? prefix : prefix.chopped(1);
}

// Follows path through symbolic links to the name they finally lead to, so
// that saving replaces the file a link points to instead of the link. A
// dangling link leads to the name it holds. Returns 0 or an errno value.
int FollowLinks(QByteArray& path) {
  for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
    struct stat info;
    if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(path.constData(), target.data(), target.size());
    if (length < 0) return errno;
    // A link that grew between lstat and readlink: read it again.
    if (static_cast<size_t>(length) >= target.size()) {
      --depth;
      continue;
    }
    target.resize(static_cast<size_t>(length));
    QByteArray next(target.data(), static_cast<qsizetype>(target.size()));
    path = next.startsWith('/') ? next : FolderPrefix(path) + next;
  }
  return ELOOP;
}

// Why a file could not be created or replaced at target: the failing step
// is repeated without side effects to learn its errno, since the save file
// reports only its own wording. fallback is the errno seen at the failure.
int CreateErrorNumber(const QByteArray& target, int fallback) {
  struct stat info;
  if (::stat(target.constData(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0) return errno;
    const QByteArray folder = FolderOf(target);
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
  } else if (errno != ENOENT) {
    return errno;
  } else {
    const QByteArray folder = FolderOf(target);
    if (::stat(folder.constData(), &info) != 0) return errno;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
  }
  return fallback != 0 ? fallback : EIO;
}

// Gives the freshly created file behind fd the owner, group and mode bits
// of the file it replaces. Owner and group can be set only by a privileged
// process; where that is refused the file stays the saver's own.
void KeepOwnerAndMode(int fd, const struct stat& former) {
  struct stat now;
  if (fd < 0 || ::fstat(fd, &now) != 0) return;
  if (now.st_uid != former.st_uid || now.st_gid != former.st_gid) {
    if (::fchown(fd, former.st_uid, former.st_gid) != 0) {
      // Not permitted: keep the saver as owner, the mode bits still apply.
    }
  }
  // Set the mode after the owner: changing the owner may clear set-id bits.
  if (::fchmod(fd, former.st_mode & 07777) != 0) {
    // The save file has already copied the permission bits it knows.
  }
}

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : fd_(fd) {}
  ~TFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Reads the file behind fd: all of it, or, for a file larger than
// kFirstRead, up to the first NUL byte found once that much has been read
// (text then ends with that NUL, which is all SetTextStr needs to know).
// Returns 0 or the errno of a failed read.
//
// The bytes are read straight into text, which is given the size the file
// had when opened plus one byte, to meet its end in the same call; a larger
// file gets kFirstRead first and then grows by doubling, so that a huge
// binary file costs little memory. A file that grows while it is read makes
// text grow further.
int ReadUpToNul(int fd, off_t sizeHint, std::string& text) {
  const auto limit = static_cast<size_t>(kDefaultBufferCapacity);
  const size_t expected = sizeHint > 0 ? static_cast<size_t>(std::min<unsigned long long>(
                                             static_cast<unsigned long long>(sizeHint), limit))
                                       : 0;
  size_t filled = 0;
  size_t scanned = 0;
  for (;;) {
    if (filled == text.size()) {
      // Full: before growing, stop at a NUL in what has been read.
      if (const void* nul = std::memchr(text.data() + scanned, '\0', filled - scanned)) {
        text.resize(static_cast<size_t>(static_cast<const char*>(nul) - text.data()) + 1);
        return 0;
      }
      scanned = filled;
      if (filled > limit) throw EInvalidOperation(kTextExceedsCapacityMessage);
      // Beyond the first read, at most doubling: a NUL may still turn up
      // before the memory for the whole file is needed.
      size_t room = filled == 0 ? std::min(expected + 1, kFirstRead)
                                : std::max(std::min(expected + 1, 2 * filled),
                                           filled + std::max(filled / 2, kMinGrowth));
      room = std::min(room, limit + 1);
      ReserveLarge(text, room);
      text.resize(room);
    }
    const ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  text.resize(filled);
  return 0;
}

// Writes text to the file at path, shown as shownPath in messages.
void WriteTextFile(std::string_view text, const QString& path, const std::string& shownPath) {
  // An empty name would otherwise reach the save file, which has its own
  // idea of what that means.
  if (path.isEmpty()) throw EFCreateError(CannotCreateFileMessage(shownPath, ENOENT));
  QByteArray target = QFile::encodeName(path);
  if (const int linkError = FollowLinks(target); linkError != 0) {
    throw EFCreateError(CannotCreateFileMessage(shownPath, linkError));
  }
  struct stat former;
  const bool existed = ::stat(target.constData(), &former) == 0;
  if (existed && S_ISDIR(former.st_mode)) {
    throw EFCreateError(CannotCreateFileMessage(shownPath, EISDIR));
  }
  if (existed && !S_ISREG(former.st_mode)) {
    throw EFCreateError(CannotCreateFileMessage(shownPath, kNotRegularFile));
  }

  QSaveFile file(QFile::decodeName(target));
  file.setDirectWriteFallback(true);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly)) {
    const int seen = errno;
    throw EFCreateError(CannotCreateFileMessage(shownPath, CreateErrorNumber(target, seen)));
  }
  if (existed) KeepOwnerAndMode(file.handle(), former);

  if (!text.empty()) {
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.flush()) {
      // The destructor removes the temporary file; the target is untouched.
      file.cancelWriting();
      throw EWriteError();
    }
  }
  errno = 0;
  if (!file.commit()) {
    const int seen = errno;
    // commit syncs the data to disk and then renames the temporary file
    // over the target: a failed rename means the target cannot be replaced.
    if (file.error() == QFileDevice::RenameError) {
      throw EFCreateError(CannotCreateFileMessage(shownPath, CreateErrorNumber(target, seen)));
    }
    throw EWriteError();
  }
}

}  // namespace

void SaveToFile(const TCodeBuffer& buffer, const QString& path) {
  const std::string shownPath = path.toStdString();
  buffer.ReadText([&](std::string_view text) { WriteTextFile(text, path, shownPath); });
}

void LoadFromFile(TCodeBuffer& buffer, const QString& path) {
  const std::string shownPath = path.toStdString();
  const QByteArray native = QFile::encodeName(path);
  // O_NONBLOCK: opening a pipe with no writer must not hang; it is refused
  // below as not a regular file. It has no effect on regular files.
  TFileDescriptor file(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) throw EFOpenError(CannotOpenFileMessage(shownPath, errno));
  struct stat info;
  if (::fstat(file.Get(), &info) != 0) throw EFOpenError(CannotOpenFileMessage(shownPath, errno));
  if (S_ISDIR(info.st_mode)) throw EFOpenError(CannotOpenFileMessage(shownPath, EISDIR));
  if (!S_ISREG(info.st_mode)) throw EFOpenError(CannotOpenFileMessage(shownPath, kNotRegularFile));

  std::string text;
  try {
    if (const int readError = ReadUpToNul(file.Get(), info.st_size, text); readError != 0) {
      throw EFOpenError(CannotOpenFileMessage(shownPath, readError));
    }
    buffer.SetTextStr(std::move(text));
  } catch (const std::bad_alloc&) {
    // The text does not fit into memory, so no buffer can hold it.
    throw EInvalidOperation(kTextExceedsCapacityMessage);
  }
}

}  // namespace deckhand
