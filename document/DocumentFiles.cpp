#include "document/DocumentFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
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
// The piece a file too large to be held is looked through at a time for a
// NUL that would end its text early.
const size_t kScanChunk = size_t{1} << 20;

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

// The most bytes of text this process could hold: what a buffer can count,
// and, under a limit on the address space, what is left of it (the text
// needs at least its own bytes, whatever else it needs besides).
size_t HoldableBytes() {
  auto holdable = static_cast<size_t>(kDefaultBufferCapacity);
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY) return holdable;
  unsigned long long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "re")) {
    if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const unsigned long long used = pages * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
  const unsigned long long left = space.rlim_cur > used ? space.rlim_cur - used : 0;
  return static_cast<size_t>(std::min<unsigned long long>(holdable, left));
}

// Looks for a NUL among the first count bytes of the file behind fd without
// holding the file: a hole (which reads as zeros) is found at once, data is
// read a piece at a time. Sets at to the position of the first NUL, or of a
// hole, which the first NUL does not follow; to count when there is none.
// The file offset is left at the start. Returns 0 or the errno of a failed
// read.
int FindNulWithin(int fd, size_t count, size_t& at) {
  at = count;
  const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
  if (::lseek(fd, 0, SEEK_SET) != 0) return errno;
  const size_t end = hole >= 0 ? std::min(count, static_cast<size_t>(std::min<unsigned long long>(
                                                     static_cast<unsigned long long>(hole), count)))
                               : count;
  std::string chunk(std::min(end, kScanChunk), '\0');
  size_t done = 0;
  while (done < end) {
    const ssize_t got =
        ::pread(fd, chunk.data(), std::min(chunk.size(), end - done), static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    if (const void* nul = std::memchr(chunk.data(), '\0', static_cast<size_t>(got))) {
      at = done + static_cast<size_t>(static_cast<const char*>(nul) - chunk.data());
      return 0;
    }
    done += static_cast<size_t>(got);
  }
  // No NUL in the data before the hole: the hole's first byte is one.
  if (end < count) at = end;
  return 0;
}

// Whether the file system holding the file behind fd has room for size bytes
// once the file has been emptied: its free space counts, and so do the blocks
// the file takes now.
bool RoomToRewrite(int fd, const struct stat& now, size_t size) {
  struct statvfs space {};
  if (::fstatvfs(fd, &space) != 0) return true;  // nothing known: try
  const unsigned long long block = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
  if (block == 0) return true;
  const unsigned long long needed = (size + block - 1) / block * block;
  const unsigned long long freed = static_cast<unsigned long long>(now.st_blocks) * 512;
  const unsigned long long free = static_cast<unsigned long long>(space.f_bavail) * block;
  return needed <= free + freed;
}

// Whether a file of size bytes stays within the process's file size limit
// (RLIMIT_FSIZE). Writing past the limit fails, so a text that cannot fit
// must be refused before the file is emptied.
bool WithinFileSizeLimit(size_t size) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
  return static_cast<unsigned long long>(size) <= static_cast<unsigned long long>(limit.rlim_cur);
}

// A write past the file size limit raises SIGXFSZ, whose default action ends
// the process and with it the unsaved text. Ignored, the write fails with
// EFBIG instead and the save reports "Stream write error". A handler the
// program installed on purpose is left in place.
void IgnoreFileSizeSignal() {
  struct sigaction current {};
  if (::sigaction(SIGXFSZ, nullptr, &current) != 0) return;
  if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO) != 0) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

// Rewrites the existing regular file target in place: where no temporary
// file can be made beside it but the file itself may be written. The file
// is emptied only once the file system is known to have room for text;
// otherwise it is left untouched and the save fails as a full disk would.
void WriteInPlace(std::string_view text, const QByteArray& target, const std::string& shownPath) {
  TFileDescriptor file(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) throw EFCreateError(CannotCreateFileMessage(shownPath, errno));
  struct stat now;
  if (::fstat(file.Get(), &now) != 0)
    throw EFCreateError(CannotCreateFileMessage(shownPath, errno));
  if (!S_ISREG(now.st_mode))
    throw EFCreateError(CannotCreateFileMessage(shownPath, kNotRegularFile));
  if (!RoomToRewrite(file.Get(), now, text.size())) throw EWriteError();
  if (!WithinFileSizeLimit(text.size())) throw EWriteError();
  if (::ftruncate(file.Get(), 0) != 0)
    throw EFCreateError(CannotCreateFileMessage(shownPath, errno));
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(file.Get(), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw EWriteError();
    done += static_cast<size_t>(written);
  }
  if (::fsync(file.Get()) != 0 && errno != EINVAL) throw EWriteError();
}

// Writes text to the file at path, shown as shownPath in messages.
void WriteTextFile(std::string_view text, const QString& path, const std::string& shownPath) {
  // An empty name would otherwise reach the save file, which has its own
  // idea of what that means.
  if (path.isEmpty()) throw EFCreateError(CannotCreateFileMessage(shownPath, ENOENT));
  IgnoreFileSizeSignal();
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
  // The save file's own fallback would empty the target before knowing that
  // the new text fits; WriteInPlace looks first.
  file.setDirectWriteFallback(false);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly)) {
    const int seen = errno;
    const int reason = CreateErrorNumber(target, seen);
    // No temporary file beside the target, but the target itself may be
    // written: the only way left is to rewrite it in place.
    if (existed && (seen == EACCES || reason == EACCES) &&
        ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) == 0) {
      WriteInPlace(text, target, shownPath);
      return;
    }
    throw EFCreateError(CannotCreateFileMessage(shownPath, reason));
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

TLoadedText LoadFromFile(TCodeBuffer& buffer, const QString& path) {
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

  // A file larger than could ever be held is refused before it is read,
  // unless a NUL early enough ends its text in time.
  off_t toRead = info.st_size;
  if (const size_t holdable = HoldableBytes();
      static_cast<unsigned long long>(info.st_size) > holdable) {
    size_t nul = 0;
    // The text before a NUL at position holdable still fits.
    if (const int scanError = FindNulWithin(file.Get(), holdable + 1, nul); scanError != 0) {
      throw EFOpenError(CannotOpenFileMessage(shownPath, scanError));
    }
    if (nul > holdable) throw EInvalidOperation(kTextExceedsCapacityMessage);
    // Only the bytes up to the NUL are wanted.
    toRead = static_cast<off_t>(nul + 1);
  }

  std::string text;
  bool cut = false;
  try {
    if (const int readError = ReadUpToNul(file.Get(), toRead, text); readError != 0) {
      throw EFOpenError(CannotOpenFileMessage(shownPath, readError));
    }
    cut = std::memchr(text.data(), '\0', text.size()) != nullptr;
    buffer.SetTextStr(std::move(text));
  } catch (const std::bad_alloc&) {
    // The text does not fit into memory, so no buffer can hold it.
    throw EInvalidOperation(kTextExceedsCapacityMessage);
  }
  return cut ? TLoadedText::CutAtNul : TLoadedText::Whole;
}

}  // namespace deckhand
