// A file system whose files take every write but fail when they are closed,
// as a network or FUSE file system, or one with a quota, does when the data
// it accepted cannot be stored after all: the error shows only at close().
//
// It is a real kernel mount, served from a thread of the test over
// /dev/fuse, so the code under test meets the failure through the same
// system calls as on such a file system. It holds one folder, "temp", into
// which one file, "temp.htm", can be created, truncated and written; each
// close() of that file fails with EIO. Mounting needs root and /dev/fuse;
// Mounted() says whether it worked and Why() why not.
#pragma once

#include <fcntl.h>
#include <linux/fuse.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace deckhand::testing {

class TFailingCloseFs {
 public:
  TFailingCloseFs() {
    if (::geteuid() != 0) {
      why_ = "mounting a file system needs root";
      return;
    }
    if (!mountPoint_.isValid()) {
      why_ = "no temporary folder";
      return;
    }
    device_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device_ < 0) {
      why_ = std::string("/dev/fuse: ") + std::strerror(errno);
      return;
    }
    const std::string options =
        "fd=" + std::to_string(device_) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("deckhand-failing-close", Path().constData(), "fuse", MS_NOSUID | MS_NODEV,
                options.c_str()) != 0) {
      why_ = std::string("mount: ") + std::strerror(errno);
      ::close(device_);
      device_ = -1;
      return;
    }
    mounted_ = true;
    server_ = std::thread([this] { Serve(); });
  }

  ~TFailingCloseFs() {
    if (mounted_) ::umount2(Path().constData(), MNT_DETACH);
    if (server_.joinable()) server_.join();
    if (device_ >= 0) ::close(device_);
  }

  TFailingCloseFs(const TFailingCloseFs&) = delete;
  TFailingCloseFs& operator=(const TFailingCloseFs&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  QByteArray Path() const { return QFile::encodeName(mountPoint_.path()); }

  // Bytes the file holds, and how many closes were refused.
  long long FileSize() const { return size_; }
  int FailedCloses() const { return failedCloses_; }

 private:
  static constexpr std::uint64_t kRoot = FUSE_ROOT_ID;
  static constexpr std::uint64_t kFolder = 2;
  static constexpr std::uint64_t kFile = 3;

  fuse_attr Attributes(std::uint64_t node) const {
    fuse_attr attr{};
    attr.ino = node;
    attr.nlink = 1;
    attr.blksize = 4096;
    if (node == kFile) {
      attr.mode = S_IFREG | 0666;
      attr.size = static_cast<std::uint64_t>(size_.load());
    } else {
      attr.mode = S_IFDIR | 0777;
      attr.nlink = 2;
    }
    return attr;
  }

  fuse_entry_out Entry(std::uint64_t node) const {
    fuse_entry_out entry{};
    entry.nodeid = node;
    entry.attr = Attributes(node);
    return entry;
  }

  void Reply(const fuse_in_header& request, int error, const void* body = nullptr,
             size_t size = 0) {
    std::vector<char> out(sizeof(fuse_out_header) + size);
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(out.size());
    header.error = -error;
    header.unique = request.unique;
    std::memcpy(out.data(), &header, sizeof header);
    if (size > 0) std::memcpy(out.data() + sizeof header, body, size);
    const ssize_t written = ::write(device_, out.data(), out.size());
    static_cast<void>(written);
  }

  template <class T>
  void ReplyWith(const fuse_in_header& request, const T& body) {
    Reply(request, 0, &body, sizeof body);
  }

  void Serve() {
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const ssize_t got = ::read(device_, buffer.data(), buffer.size());
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) return;  // unmounted
      fuse_in_header request;
      std::memcpy(&request, buffer.data(), sizeof request);
      const char* body = buffer.data() + sizeof request;
      Handle(request, body);
    }
  }

  void Handle(const fuse_in_header& request, const char* body) {
    switch (request.opcode) {
      case FUSE_INIT: {
        fuse_init_in in;
        std::memcpy(&in, body, sizeof in);
        fuse_init_out out{};
        out.major = FUSE_KERNEL_VERSION;
        out.minor = std::min<std::uint32_t>(in.minor, FUSE_KERNEL_MINOR_VERSION);
        out.max_write = 128 * 1024;
        out.max_readahead = in.max_readahead;
        ReplyWith(request, out);
        return;
      }
      case FUSE_LOOKUP: {
        const std::string name(body);
        if (request.nodeid == kRoot && name == "temp") return ReplyWith(request, Entry(kFolder));
        if (request.nodeid == kFolder && name == "temp.htm" && created_)
          return ReplyWith(request, Entry(kFile));
        return Reply(request, ENOENT);
      }
      case FUSE_GETATTR: {
        fuse_attr_out out{};
        out.attr = Attributes(request.nodeid);
        return ReplyWith(request, out);
      }
      case FUSE_SETATTR: {
        fuse_setattr_in in;
        std::memcpy(&in, body, sizeof in);
        if ((in.valid & FATTR_SIZE) != 0) size_ = static_cast<long long>(in.size);
        fuse_attr_out out{};
        out.attr = Attributes(request.nodeid);
        return ReplyWith(request, out);
      }
      case FUSE_MKDIR:
        return Reply(request, EEXIST);
      case FUSE_CREATE: {
        const std::string name(body + sizeof(fuse_create_in));
        if (request.nodeid != kFolder || name != "temp.htm") return Reply(request, EACCES);
        created_ = true;
        size_ = 0;
        struct {
          fuse_entry_out entry;
          fuse_open_out open;
        } out{Entry(kFile), fuse_open_out{}};
        out.open.fh = 1;
        return ReplyWith(request, out);
      }
      case FUSE_OPEN: {
        fuse_open_out out{};
        out.fh = 1;
        return ReplyWith(request, out);
      }
      case FUSE_WRITE: {
        fuse_write_in in;
        std::memcpy(&in, body, sizeof in);
        const long long end = static_cast<long long>(in.offset + in.size);
        if (end > size_) size_ = end;
        fuse_write_out out{};
        out.size = in.size;
        return ReplyWith(request, out);
      }
      case FUSE_FLUSH:
        ++failedCloses_;
        return Reply(request, EIO);
      case FUSE_RELEASE:
      case FUSE_RELEASEDIR:
        return Reply(request, 0);
      case FUSE_FORGET:
      case FUSE_BATCH_FORGET:
      case FUSE_INTERRUPT:
        return;  // no answer expected
      default:
        return Reply(request, ENOSYS);
    }
  }

  QTemporaryDir mountPoint_;
  int device_ = -1;
  bool mounted_ = false;
  std::string why_;
  std::thread server_;
  std::atomic<bool> created_{false};
  std::atomic<long long> size_{0};
  std::atomic<int> failedCloses_{0};
};

}  // namespace deckhand::testing
