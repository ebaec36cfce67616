#include "emulator/DeckFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

namespace deckhand::wml {

namespace {

// Why a file could not be opened or read, as a Russian sentence.
std::string Reason(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "Файл не найден: " + path;
    case EACCES:
    case EPERM:
      return "Нет прав на чтение файла: " + path;
    case EISDIR:
      return "Это папка, а не файл: " + path;
    case EAGAIN:
      return "Файл не готов к чтению (его данные ещё не пришли): " + path;
    case ELOOP:
      return "Слишком много символических ссылок подряд: " + path;
    case ENAMETOOLONG:
      return "Слишком длинное имя файла: " + path;
    case ENOMEM:
      return "Не хватает памяти, чтобы прочитать файл: " + path;
    default:
      return "Не удалось прочитать файл (ошибка " + std::to_string(error) + "): " + path;
  }
}

// Closes a descriptor when it goes out of scope.
struct TDescriptor {
  int Fd = -1;
  ~TDescriptor() {
    if (Fd >= 0) ::close(Fd);
  }
};

}  // namespace

std::optional<std::string> ReadBoundedFile(const std::string& path, std::string& error,
                                           std::size_t limit) {
  try {
    if (path.empty() || path.find('\0') != std::string::npos) {
      error = "Файл не найден: " + path;
      return std::nullopt;
    }
    // O_NONBLOCK: opening a named pipe without a writer, or reading a file
    // whose data is not there yet (/proc/kmsg), must not wait.
    TDescriptor file;
    file.Fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.Fd < 0) {
      error = Reason(errno, path);
      return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.Fd, &status) != 0) {
      error = Reason(errno, path);
      return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
      error = "Это папка, а не файл: " + path;
      return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
      error = "Это не файл: " + path;
      return std::nullopt;
    }
    if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > limit) {
      error = "Файл слишком велик для телефона: " + path;
      return std::nullopt;
    }
    // The size a file reports is only a hint: files of /proc report 0 and
    // may never end, so reading stops one byte past the limit.
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t got = 0;
    while (true) {
      if (got == bytes.size()) {
        if (bytes.size() > limit) break;
        bytes.resize(std::min(limit + 1, std::max<std::size_t>(bytes.size() * 2, 4096)));
      }
      ssize_t n = ::read(file.Fd, bytes.data() + got, bytes.size() - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = Reason(errno, path);
        return std::nullopt;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got > limit) {
      error = "Файл слишком велик для телефона: " + path;
      return std::nullopt;
    }
    bytes.resize(got);
    return bytes;
  } catch (const std::bad_alloc&) {
    error = Reason(ENOMEM, path);
    return std::nullopt;
  } catch (...) {
    error = "Не удалось прочитать файл: " + path;
    return std::nullopt;
  }
}

std::optional<std::string> ReadDeckFile(const std::string& path, std::string& error) {
  return ReadBoundedFile(path, error, kMaxDeckFileBytes);
}

}  // namespace deckhand::wml
