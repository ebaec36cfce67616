#include "checker/CheckCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Unit.h"

namespace deckhand::wml {

namespace {

std::string SystemError(int error) { return std::strerror(error); }

// Reads a whole regular file of at most kMaxDeckFileBytes; a folder, a
// device, a FIFO or a socket is refused before a byte is read, so the
// checker never blocks on one. The size the file reports is not trusted:
// files of /proc report 0 and hold more, some without end.
std::optional<std::string> ReadDeck(const std::string& path, std::string& problem) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = "не удаётся открыть файл: " + SystemError(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    problem = "не удаётся прочитать сведения о файле: " + SystemError(errno);
    close(fd);
    return std::nullopt;
  }
  if (S_ISDIR(info.st_mode)) {
    problem = "это папка, а не файл колоды";
    close(fd);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = "это не обычный файл (устройство, канал или сокет)";
    close(fd);
    return std::nullopt;
  }
  const auto tooLarge = [&] {
    problem = "файл больше " + std::to_string(kMaxDeckFileBytes >> 20) + " МБ" +
              ": это не колода WML, и он не проверяется";
    close(fd);
    return std::nullopt;
  };
  if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > kMaxDeckFileBytes)
    return tooLarge();
  std::string bytes;
  // A byte of room past the size it reports: the read that finds the end
  // then needs no larger string, which would copy the whole deck.
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t done = 0;
  for (;;) {
    if (done == bytes.size()) {
      // The file grew meanwhile, or reports no size: read on in steps, a
      // byte past the limit at most.
      if (done > kMaxDeckFileBytes) return tooLarge();
      bytes.resize(std::min(bytes.size() + 65536, kMaxDeckFileBytes + 1));
    }
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      problem = "ошибка чтения: " + SystemError(errno);
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  if (done > kMaxDeckFileBytes) return tooLarge();
  close(fd);
  bytes.resize(done);
  return bytes;
}

// Writes bytes to path through a temporary file in the same folder renamed
// over it, so that path holds either its old content or all of the new.
bool WriteAtomically(const std::string& path, const std::string& bytes, std::string& problem) {
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  // The name itself, not what it leads to: renaming over a symbolic link
  // would replace the link (/dev/stdout among them) with a file.
  struct stat target {};
  if (lstat(path.c_str(), &target) == 0) {
    if (S_ISLNK(target.st_mode)) {
      problem = "это символическая ссылка, и она не будет заменена: назовите обычный файл";
      return false;
    }
    if (S_ISDIR(target.st_mode)) {
      problem = "это папка, а не файл";
      return false;
    }
    if (!S_ISREG(target.st_mode)) {
      problem = "это не обычный файл (устройство, канал или сокет), и он не будет заменён";
      return false;
    }
  }
  std::string temporary = folder + "/.deckhand-check-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    problem = "не удаётся создать файл в папке " + folder + ": " + SystemError(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      problem = "ошибка записи: " + SystemError(errno);
      close(fd);
      unlink(temporary.c_str());
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  // The mode a new file gets (0666 less the umask), not mkstemp's 0600.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  if (fsync(fd) != 0 || close(fd) != 0) {
    problem = "ошибка записи: " + SystemError(errno);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    problem = "не удаётся записать файл: " + SystemError(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

// status, once out is written through; a report that cannot be written (a
// full disk, a closed pipe) is a failure, not a clean check.
int Written(std::ostream& out, std::ostream& err, int status) {
  errno = 0;
  out.flush();
  if (out) return status;
  const int error = errno;
  err << "deckhand-check: не удаётся записать отчёт в стандартный вывод"
      << (error != 0 ? ": " + SystemError(error) : std::string()) << "\n";
  return kCheckUsageError;
}

// Whether the file is a WMLScript source by its name: "*.wmls", any case.
bool IsScriptFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() <= 5) return false;
  std::string tail = name.substr(name.size() - 5);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".wmls";
}

// Compiles a WMLScript source (WAP-193), prints its diagnostics and the
// compiled size; unit receives the compiled unit when there is one. Whether
// the script has an error.
bool CheckScript(const std::string& file, const std::string& source, std::ostream& out,
                 std::optional<std::string>& unit) {
  const deckhand::wmlscript::TCompileResult result = deckhand::wmlscript::Compile(source);
  out << deckhand::wmlscript::FormatDiagnostics(file, result.Diagnostics);
  bool hasError = !result.Unit;
  for (const auto& diagnostic : result.Diagnostics)
    hasError = hasError || diagnostic.Severity == deckhand::wmlscript::TSeverity::Error;
  out << file << ": ";
  if (!result.Unit) {
    out << "сценарий WMLScript не компилируется\n";
    return true;
  }
  // Every unit is verified before a phone runs it (WAP-193 §11.3); a unit
  // the verifier refuses is reported, never written.
  std::string refusal;
  if (!deckhand::wmlscript::LoadUnit(*result.Unit, refusal)) {
    out << "скомпилированный сценарий не прошёл проверку: " << refusal << "\n";
    return true;
  }
  // The phones' table records limits of compiled decks only: a script's
  // size is given as it is.
  out << "WMLScript 1.1; скомпилированный сценарий " << ByteCount(result.Unit->size()) << "\n";
  unit = result.Unit;
  return hasError;
}

std::string PhoneList() {
  std::string list;
  for (const TPhoneProfile& phone : PhoneProfiles()) {
    list += "  " + std::string(phone.Name) + " (до " +
            ByteCountGenitive(phone.MaxCompiledDeckBytes) + ")\n";
  }
  return list;
}

// --decode: the WML source of a compiled deck on out; a deck that cannot be
// decoded is an error of the deck (1), a file that cannot be read a usage
// error (2).
int DecodeFile(const std::string& file, std::ostream& out, std::ostream& err) {
  std::string problem;
  const std::optional<std::string> bytes = ReadDeck(file, problem);
  if (!bytes) {
    err << "deckhand-check: " << file << ": " << problem << "\n";
    return kCheckUsageError;
  }
  const std::optional<std::string> source = DecodeWmlc(*bytes, problem);
  if (!source) {
    err << "deckhand-check: " << file << ": " << problem << "\n";
    return Written(out, err, kCheckErrors);
  }
  out << *source;
  return Written(out, err, kCheckClean);
}

}  // namespace

std::string CheckCommandHelp() {
  return "Использование: deckhand-check [--phone ТЕЛЕФОН] [--wbxml ВЫХОД] ФАЙЛ...\n"
         "       deckhand-check --decode ФАЙЛ.wmlc\n"
         "\n"
         "Проверяет колоды WML: правильность XML, соответствие WML 1.1 (по встроенному DTD,\n"
         "без обращения к сети), размер скомпилированной колоды (двоичный WML, WBXML 1.1) и\n"
         "ссылки, карточки и переменные колоды.\n"
         "\n"
         "Файл с именем *.wmls — сценарий WMLScript 1.1: он компилируется, его ошибки печатаются\n"
         "так же, затем — размер скомпилированного сценария (файла .wmlsc).\n"
         "\n"
         "Каждое замечание печатается строкой\n"
         "  ФАЙЛ:СТРОКА:СТОЛБЕЦ: ошибка: …\n"
         "  ФАЙЛ:СТРОКА:СТОЛБЕЦ: предупреждение: …\n"
         "(строки и столбцы считаются с 1, столбец — в байтах строки), затем для каждого файла —\n"
         "размер скомпилированной колоды и телефоны, которые её не примут.\n"
         "\n"
         "Кодировка колоды берётся из объявления XML (<?xml version=\"1.0\" "
         "encoding=\"windows-1251\"?>);\n"
         "без объявления колода читается как UTF-8.\n"
         "\n"
         "Параметры:\n"
         "  --phone ТЕЛЕФОН  добавить замечания для этого телефона: предел размера колоды,\n"
         "                   длина заголовков и надписей клавиш, таблицы, ширина картинок,\n"
         "                   списки длиннее 9 пунктов\n"
         "  --wbxml ВЫХОД    записать скомпилированную колоду (файл .wmlc) в ВЫХОД; только\n"
         "                   с одним файлом; для сценария .wmls — скомпилированный сценарий\n"
         "                   (файл .wmlsc); файл заменяется целиком или не меняется вовсе;\n"
         "                   символическая ссылка, папка, устройство или канал не заменяются\n"
         "  --decode         прочитать скомпилированную колоду (двоичный WML, WBXML 1.1–1.3,\n"
         "                   WML 1.1–1.3) и вывести её текст WML в UTF-8; только с одним файлом\n"
         "  --help           показать эту справку\n"
         "\n"
         "Телефоны:\n" +
         PhoneList() +
         "\n"
         "Читаются только обычные файлы, не больше " +
         std::to_string(kMaxDeckFileBytes >> 20) +
         " МБ.\n"
         "\n"
         "Код возврата: 0 — ни в одной колоде нет ошибок, 1 — хотя бы в одной есть ошибка,\n"
         "2 — неверные параметры, файл, который нельзя прочитать или записать, колода,\n"
         "на проверку которой не хватило памяти, или отчёт, который не удалось вывести.\n"
         "Проверка ничего не записывает, кроме файла --wbxml.\n";
}

int RunCheckCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                    bool leaveLastTree) {
  const TPhoneProfile* phone = nullptr;
  std::optional<std::string> wbxmlPath;
  bool decode = false;
  std::vector<std::string> files;
  const auto usage = [&](const std::string& message) {
    err << "deckhand-check: " << message << "\nПодробнее: deckhand-check --help\n";
    return kCheckUsageError;
  };
  bool options = true;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && (argument == "--help" || argument == "-h")) {
      out << CheckCommandHelp();
      return Written(out, err, kCheckClean);
    } else if (options && (argument == "--phone" || argument.rfind("--phone=", 0) == 0)) {
      std::string name;
      if (argument == "--phone") {
        if (i + 1 >= arguments.size()) return usage("после --phone нужно имя телефона");
        name = arguments[++i];
      } else {
        name = argument.substr(8);
      }
      phone = FindPhone(name);
      if (phone == nullptr)
        return usage("неизвестный телефон «" + name + "»; известны:\n" + PhoneList());
    } else if (options && (argument == "--wbxml" || argument.rfind("--wbxml=", 0) == 0)) {
      if (argument == "--wbxml") {
        if (i + 1 >= arguments.size()) return usage("после --wbxml нужно имя выходного файла");
        wbxmlPath = arguments[++i];
      } else {
        wbxmlPath = argument.substr(8);
      }
      if (wbxmlPath->empty()) return usage("пустое имя выходного файла --wbxml");
    } else if (options && argument == "--decode") {
      decode = true;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      return usage("неизвестный параметр " + argument);
    } else {
      files.push_back(argument);
    }
  }
  if (files.empty()) return usage("не указан файл колоды");
  if (decode) {
    if (phone != nullptr || wbxmlPath) return usage("--decode не сочетается с --phone и --wbxml");
    if (files.size() != 1) return usage("--decode читает одну колоду: укажите один файл");
    return DecodeFile(files[0], out, err);
  }
  if (wbxmlPath && files.size() != 1)
    return usage("--wbxml записывает одну колоду: укажите один файл");
  if (wbxmlPath) {
    struct stat in {
    }, out{};
    if (stat(files[0].c_str(), &in) == 0 && stat(wbxmlPath->c_str(), &out) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      return usage("--wbxml назвал сам проверяемый файл: колода не будет заменена двоичной");
    }
  }

  int status = kCheckClean;
  for (const std::string& file : files) {
    // The last deck's tree is left to the system when the process ends.
    if (leaveLastTree && &file == &files.back()) LeaveParseTreesAtExit();
    try {
      std::string problem;
      const std::optional<std::string> deck = ReadDeck(file, problem);
      if (!deck) {
        err << "deckhand-check: " << file << ": " << problem << "\n";
        status = kCheckUsageError;
        continue;
      }
      std::optional<std::string> compiled;
      if (IsScriptFile(file)) {
        if (CheckScript(file, *deck, out, compiled) && status == kCheckClean) status = kCheckErrors;
        if (wbxmlPath) {
          if (!compiled) {
            err << "deckhand-check: " << file << ": сценарий не компилируется, " << *wbxmlPath
                << " не записан\n";
            if (status == kCheckClean) status = kCheckErrors;
          } else if (!WriteAtomically(*wbxmlPath, *compiled, problem)) {
            err << "deckhand-check: " << *wbxmlPath << ": " << problem << "\n";
            status = kCheckUsageError;
          }
        }
        continue;
      }
      const TDeckReport report = CheckDeck(*deck, phone, wbxmlPath ? &compiled : nullptr);
      bool hasError = false;
      for (const TFinding& finding : report.Findings) {
        hasError = hasError || finding.Severity == TSeverity::Error;
        out << file << ':' << finding.Line << ':' << finding.Column << ": "
            << (finding.Severity == TSeverity::Error ? "ошибка" : "предупреждение") << ": "
            << finding.Message << "\n";
      }
      if (hasError && status == kCheckClean) status = kCheckErrors;
      out << file << ": ";
      if (!report.WellFormed) {
        out << "не является правильным XML; не компилируется\n";
      } else if (!report.CompiledSize) {
        out << (report.Valid ? "" : "не соответствует WML 1.1; ")
            << "не компилируется: в колоде есть элементы или атрибуты, которых нет в WML 1.1\n";
      } else {
        out << (report.Valid ? "WML 1.1" : "не соответствует WML 1.1")
            << "; скомпилированная колода " << ByteCount(*report.CompiledSize);
        const auto refusing = PhonesRefusing(*report.CompiledSize);
        if (refusing.empty()) {
          out << "; примут все телефоны таблицы\n";
        } else {
          out << "; не примут:";
          for (std::size_t k = 0; k < refusing.size(); ++k) {
            out << (k ? ", " : " ") << refusing[k]->Name << " (до "
                << ByteCountGenitive(refusing[k]->MaxCompiledDeckBytes) << ")";
          }
          out << "\n";
        }
      }
      if (wbxmlPath) {
        const std::optional<std::string>& bytes = compiled;
        if (!bytes) {
          err << "deckhand-check: " << file << ": колода не компилируется, " << *wbxmlPath
              << " не записан\n";
          if (status == kCheckClean) status = kCheckErrors;
        } else if (!WriteAtomically(*wbxmlPath, *bytes, problem)) {
          err << "deckhand-check: " << *wbxmlPath << ": " << problem << "\n";
          status = kCheckUsageError;
        }
      }
    } catch (const std::bad_alloc&) {
      err << "deckhand-check: " << file << ": не хватает памяти для проверки\n";
      status = kCheckUsageError;
    }
  }
  return Written(out, err, status);
}

}  // namespace deckhand::wml
