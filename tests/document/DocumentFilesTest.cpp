// SaveToFile and LoadFromFile on real files in temporary folders: byte-exact
// round trips, the messages of real failures, and what survives them.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <string>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "core/MarkupCommands.h"
#include "document/DocumentFiles.h"

namespace deckhand {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
  const QByteArray bytes = file.readAll();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void WriteBytes(const QString& path, const std::string& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())),
            static_cast<qint64>(bytes.size()));
}

QStringList FolderEntries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

mode_t ModeOf(const QString& path) {
  struct stat info {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  return info.st_mode & 07777;
}

// Everything a failed load must leave alone.
struct TBufferState {
  std::string text;
  int anchor;
  int caret;
  bool modified;
  bool operator==(const TBufferState&) const = default;
};

TBufferState StateOf(const TMemoryBuffer& buffer) {
  return {buffer.GetText(), buffer.Anchor(), buffer.Caret(), buffer.GetModified()};
}

// A buffer holding the template with a selection and the modified flag set,
// so that any change by a failed load shows.
void PrepareEdited(TMemoryBuffer& buffer) {
  ApplyNewDocumentTemplate(buffer);
  buffer.SetSelText("x");
  buffer.Select(10, 4);
}

template <typename Error, typename Action>
std::string MessageOf(Action action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  } catch (const std::exception& error) {
    return std::string("unexpected error: ") + error.what();
  }
  return "no error";
}

class DocumentFiles : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return folder_.filePath(name); }
  QString Folder() const { return folder_.path(); }

  QTemporaryDir folder_;
};

TEST_F(DocumentFiles, TemplateAndEmptyDocumentGiveExactFiles) {
  TMemoryBuffer buffer;
  ApplyNewDocumentTemplate(buffer);
  SaveToFile(buffer, Path("new.wml"));
  const std::string bytes = ReadBytes(Path("new.wml"));
  EXPECT_EQ(bytes.size(), 204u);
  EXPECT_EQ(bytes, buffer.GetText());
  EXPECT_EQ(bytes.substr(bytes.size() - 8), "</wml>\r\n");

  TMemoryBuffer reread;
  LoadFromFile(reread, Path("new.wml"));
  EXPECT_EQ(reread.GetText(), bytes);

  // An empty document gives an empty file, and an empty file an empty text.
  TMemoryBuffer empty;
  SaveToFile(empty, Path("empty.wml"));
  EXPECT_EQ(QFileInfo(Path("empty.wml")).size(), 0);
  LoadFromFile(reread, Path("empty.wml"));
  EXPECT_EQ(reread.GetText(), "");

  // Saving over a longer file leaves nothing of it behind.
  SaveToFile(empty, Path("new.wml"));
  EXPECT_EQ(ReadBytes(Path("new.wml")), "");
}

TEST_F(DocumentFiles, LineBreaksAreReadAsCrLfAndWrittenAsHeld) {
  WriteBytes(Path("lf.wml"), "<wml>\n<card/>\n</wml>\n");
  WriteBytes(Path("cr.wml"), "<wml>\r<card/>\r</wml>");
  WriteBytes(Path("mixed.wml"), "a\n\rb\r\r\nc\r\n");
  TMemoryBuffer buffer;
  LoadFromFile(buffer, Path("lf.wml"));
  EXPECT_EQ(buffer.GetText(), "<wml>\r\n<card/>\r\n</wml>\r\n");
  SaveToFile(buffer, Path("lf.wml"));
  EXPECT_EQ(ReadBytes(Path("lf.wml")), "<wml>\r\n<card/>\r\n</wml>\r\n");
  LoadFromFile(buffer, Path("cr.wml"));
  SaveToFile(buffer, Path("cr.wml"));
  EXPECT_EQ(ReadBytes(Path("cr.wml")), "<wml>\r\n<card/>\r\n</wml>");
  LoadFromFile(buffer, Path("mixed.wml"));
  EXPECT_EQ(buffer.GetText(), "a\r\n\r\nb\r\n\r\nc\r\n");

  // A lone LF that pasting brought into the buffer is written unchanged.
  buffer.SetText("a\nb\rc");
  SaveToFile(buffer, Path("pasted.wml"));
  EXPECT_EQ(ReadBytes(Path("pasted.wml")), "a\nb\rc");
}

TEST_F(DocumentFiles, NulEndsTheTextAndHighBytesSurvive) {
  WriteBytes(Path("nul.wml"), std::string("<wml>\r\nab\0cd\r\n</wml>", 20));
  TMemoryBuffer buffer;
  LoadFromFile(buffer, Path("nul.wml"));
  EXPECT_EQ(buffer.GetText(), "<wml>\r\nab");
  SaveToFile(buffer, Path("nul.wml"));
  EXPECT_EQ(ReadBytes(Path("nul.wml")), "<wml>\r\nab");

  // A file that begins with NUL gives an empty text.
  WriteBytes(Path("zero.wml"), std::string(5000, '\0'));
  LoadFromFile(buffer, Path("zero.wml"));
  EXPECT_EQ(buffer.GetText(), "");

  std::string all;
  for (int round = 0; round < 3; ++round) {
    for (int c = 1; c < 256; ++c) {
      if (c != '\r' && c != '\n') all.push_back(static_cast<char>(c));
    }
    all += "\r\n";
  }
  WriteBytes(Path("bytes.wml"), all);
  LoadFromFile(buffer, Path("bytes.wml"));
  EXPECT_EQ(buffer.GetText(), all);
  SaveToFile(buffer, Path("bytes2.wml"));
  EXPECT_EQ(ReadBytes(Path("bytes2.wml")), all);
}

TEST_F(DocumentFiles, OpeningTheTextAlreadyHeldChangesNothing) {
  TMemoryBuffer buffer;
  PrepareEdited(buffer);
  std::string lf = buffer.GetText();
  for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at)) {
    lf.erase(at, 1);
  }
  WriteBytes(Path("same.wml"), lf);
  const TBufferState before = StateOf(buffer);
  LoadFromFile(buffer, Path("same.wml"));
  EXPECT_EQ(StateOf(buffer), before);
}

TEST_F(DocumentFiles, CyrillicNamesWithSpacesWork) {
  TMemoryBuffer buffer;
  buffer.SetText(Cp1251("<p>Привет</p>"));
  const QString path = Path(QString::fromUtf8("Текстовый документ.wml"));
  SaveToFile(buffer, path);
  EXPECT_TRUE(fs::exists(fs::path(QFile::encodeName(path).toStdString())));
  TMemoryBuffer reread;
  LoadFromFile(reread, path);
  EXPECT_EQ(reread.GetText(), Cp1251("<p>Привет</p>"));

  const QString missing = Path(QString::fromUtf8("нет/файл.wml"));
  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, missing); }),
            "Cannot create file \"" + missing.toStdString() + "\". No such file or directory");
}

// Real decks by others: each opens and saves back as its own bytes with the
// line breaks turned into CR LF and nothing else changed.
TEST_F(DocumentFiles, CorpusDecksRoundTripByteExact) {
  const fs::path corpus = DECKHAND_CORPUS_DIR;
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus folder";
  int files = 0;
  for (const char* sub : {"cp1251", "wml", "dtd"}) {
    if (!fs::is_directory(corpus / sub)) continue;
    for (const auto& entry : fs::directory_iterator(corpus / sub)) {
      if (!entry.is_regular_file()) continue;
      const QString source = QFile::decodeName(QByteArray::fromStdString(entry.path().string()));
      SCOPED_TRACE(entry.path().string());
      const std::string original = ReadBytes(source);
      TMemoryBuffer buffer;
      LoadFromFile(buffer, source);
      const QString copy = Path(QFileInfo(source).fileName());
      SaveToFile(buffer, copy);
      const std::string saved = ReadBytes(copy);
      EXPECT_EQ(saved, AdjustLineBreaks(original));
      if (original.find_first_of(std::string("\r\n\0", 3)) == std::string::npos ||
          AdjustLineBreaks(original) == original) {
        EXPECT_EQ(saved, original);
      }
      // Read again: the saved file is a fixed point.
      TMemoryBuffer again;
      LoadFromFile(again, copy);
      EXPECT_EQ(again.GetText(), saved);
      ++files;
    }
  }
  EXPECT_GT(files, 30);
}

TEST_F(DocumentFiles, SaveFailuresNameThePathAndTheReason) {
  TMemoryBuffer buffer;
  ApplyNewDocumentTemplate(buffer);

  const QString missingFolder = Path("missing/index.wml");
  EXPECT_EQ(
      MessageOf<EFCreateError>([&] { SaveToFile(buffer, missingFolder); }),
      "Cannot create file \"" + missingFolder.toStdString() + "\". No such file or directory");
  EXPECT_FALSE(QFileInfo::exists(Path("missing")));

  ASSERT_TRUE(QDir(Folder()).mkdir("folder.wml"));
  WriteBytes(Path("folder.wml/inside"), "kept");
  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("folder.wml")); }),
            "Cannot create file \"" + Path("folder.wml").toStdString() + "\". Is a directory");
  EXPECT_TRUE(QFileInfo(Path("folder.wml")).isDir());
  EXPECT_EQ(ReadBytes(Path("folder.wml/inside")), "kept");

  WriteBytes(Path("plain"), "plain");
  EXPECT_EQ(
      MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("plain/index.wml")); }),
      "Cannot create file \"" + Path("plain/index.wml").toStdString() + "\". Not a directory");
  EXPECT_EQ(ReadBytes(Path("plain")), "plain");

  // A pipe would block the writer: refused, and left a pipe.
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0644), 0);
  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("pipe")); }),
            "Cannot create file \"" + Path("pipe").toStdString() + "\". Not a regular file");
  EXPECT_TRUE(fs::is_fifo(fs::path(QFile::encodeName(Path("pipe")).toStdString())));

  const QString tooLong = Path(QString(300, u'a'));
  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, tooLong); }),
            "Cannot create file \"" + tooLong.toStdString() + "\". File name too long");

  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, ""); }),
            "Cannot create file \"\". No such file or directory");

  EXPECT_EQ(FolderEntries(Folder()), QStringList({"folder.wml", "pipe", "plain"}));
}

// A full disk, made by a file size limit: writes beyond it fail with EFBIG.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    ::signal(SIGXFSZ, previousHandler_);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  sighandler_t previousHandler_;
};

TEST_F(DocumentFiles, FullDiskKeepsTheFormerFile) {
  const std::string former = std::string(3000, 'f') + "\r\n";
  WriteBytes(Path("index.wml"), former);
  TMemoryBuffer buffer;
  buffer.SetText(std::string(40000, 'n'));
  std::string message;
  std::string messageNew;
  {
    TFileSizeLimit limit(1000);
    message = MessageOf<EWriteError>([&] { SaveToFile(buffer, Path("index.wml")); });
    messageNew = MessageOf<EWriteError>([&] { SaveToFile(buffer, Path("new.wml")); });
    // A short text fits under the limit.
    buffer.SetText("short");
    SaveToFile(buffer, Path("short.wml"));
  }
  EXPECT_EQ(message, "Stream write error");
  EXPECT_EQ(messageNew, "Stream write error");
  EXPECT_EQ(ReadBytes(Path("index.wml")), former);
  EXPECT_EQ(ReadBytes(Path("short.wml")), "short");
  // No temporary file is left behind, and no half-written new file.
  EXPECT_EQ(FolderEntries(Folder()), QStringList({"index.wml", "short.wml"}));
}

TEST_F(DocumentFiles, PermissionsFollowUmaskOrTheReplacedFile) {
  TMemoryBuffer buffer;
  buffer.SetText("text");
  const mode_t previousMask = ::umask(027);
  SaveToFile(buffer, Path("new.wml"));
  ::umask(previousMask);
  EXPECT_EQ(ModeOf(Path("new.wml")), 0640u);

  WriteBytes(Path("private.wml"), "old");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("private.wml")).constData(), 0600), 0);
  SaveToFile(buffer, Path("private.wml"));
  EXPECT_EQ(ModeOf(Path("private.wml")), 0600u);
  EXPECT_EQ(ReadBytes(Path("private.wml")), "text");

  WriteBytes(Path("script.wml"), "old");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("script.wml")).constData(), 0754), 0);
  SaveToFile(buffer, Path("script.wml"));
  EXPECT_EQ(ModeOf(Path("script.wml")), 0754u);

  // Group read only, owner nothing: exactly these bits come back.
  WriteBytes(Path("odd.wml"), "old");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("odd.wml")).constData(), 0040), 0);
  if (::geteuid() == 0) {
    SaveToFile(buffer, Path("odd.wml"));
    EXPECT_EQ(ModeOf(Path("odd.wml")), 0040u);
  }
}

TEST_F(DocumentFiles, ReplacedFileKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a privileged process can give files away";
  const QByteArray native = QFile::encodeName(Path("theirs.wml"));
  WriteBytes(Path("theirs.wml"), "old");
  ASSERT_EQ(::chown(native.constData(), 1234, 4321), 0);
  ASSERT_EQ(::chmod(native.constData(), 0640), 0);
  TMemoryBuffer buffer;
  buffer.SetText("new");
  SaveToFile(buffer, Path("theirs.wml"));
  struct stat info {};
  ASSERT_EQ(::stat(native.constData(), &info), 0);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 4321u);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadBytes(Path("theirs.wml")), "new");
}

TEST_F(DocumentFiles, SavingThroughLinksUpdatesTheirTargetAndKeepsThem) {
  ASSERT_TRUE(QDir(Folder()).mkdir("real"));
  WriteBytes(Path("real/deck.wml"), "old");
  ASSERT_TRUE(QFile::link(Path("real/deck.wml"), Path("absolute.wml")));
  // Relative links are read from the link's own folder.
  ASSERT_EQ(::symlink("real/deck.wml", QFile::encodeName(Path("relative.wml")).constData()), 0);
  ASSERT_EQ(::symlink("relative.wml", QFile::encodeName(Path("chain.wml")).constData()), 0);

  TMemoryBuffer buffer;
  for (const char* link : {"absolute.wml", "relative.wml", "chain.wml"}) {
    SCOPED_TRACE(link);
    buffer.SetText(std::string("via ") + link);
    SaveToFile(buffer, Path(link));
    EXPECT_TRUE(QFileInfo(Path(link)).isSymLink());
    EXPECT_EQ(ReadBytes(Path("real/deck.wml")), std::string("via ") + link);
  }
  EXPECT_EQ(FolderEntries(Path("real")), QStringList({"deck.wml"}));

  // A dangling link creates the file it names.
  ASSERT_EQ(::symlink("real/later.wml", QFile::encodeName(Path("dangling.wml")).constData()), 0);
  SaveToFile(buffer, Path("dangling.wml"));
  EXPECT_TRUE(QFileInfo(Path("dangling.wml")).isSymLink());
  EXPECT_EQ(ReadBytes(Path("real/later.wml")), "via chain.wml");

  ASSERT_EQ(::symlink("loop2", QFile::encodeName(Path("loop1")).constData()), 0);
  ASSERT_EQ(::symlink("loop1", QFile::encodeName(Path("loop2")).constData()), 0);
  EXPECT_EQ(MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("loop1")); }),
            "Cannot create file \"" + Path("loop1").toStdString() +
                "\". Too many levels of symbolic links");
}

TEST_F(DocumentFiles, OpenFailuresNameThePathAndLeaveTheBuffer) {
  TMemoryBuffer buffer;
  PrepareEdited(buffer);
  const TBufferState before = StateOf(buffer);

  EXPECT_EQ(
      MessageOf<EFOpenError>([&] { LoadFromFile(buffer, Path("missing.wml")); }),
      "Cannot open file \"" + Path("missing.wml").toStdString() + "\". No such file or directory");
  ASSERT_TRUE(QDir(Folder()).mkdir("folder.wml"));
  EXPECT_EQ(MessageOf<EFOpenError>([&] { LoadFromFile(buffer, Path("folder.wml")); }),
            "Cannot open file \"" + Path("folder.wml").toStdString() + "\". Is a directory");
  // A pipe with no writer must neither block nor read as an empty file.
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0644), 0);
  EXPECT_EQ(MessageOf<EFOpenError>([&] { LoadFromFile(buffer, Path("pipe")); }),
            "Cannot open file \"" + Path("pipe").toStdString() + "\". Not a regular file");
  EXPECT_EQ(MessageOf<EFOpenError>([&] { LoadFromFile(buffer, "/dev/zero"); }),
            "Cannot open file \"/dev/zero\". Not a regular file");
  // A file that opens but fails when read: the process's memory file, whose
  // first page is never mapped.
  EXPECT_EQ(MessageOf<EFOpenError>([&] { LoadFromFile(buffer, "/proc/self/mem"); }),
            "Cannot open file \"/proc/self/mem\". Input/output error");
  EXPECT_EQ(MessageOf<EFOpenError>([&] { LoadFromFile(buffer, ""); }),
            "Cannot open file \"\". No such file or directory");
  EXPECT_EQ(StateOf(buffer), before);
}

TEST_F(DocumentFiles, TextBeyondCapacityIsRefusedAndTheBufferKept) {
  TMemoryBuffer buffer(nullptr, 250);
  PrepareEdited(buffer);
  const TBufferState before = StateOf(buffer);
  WriteBytes(Path("big.wml"), std::string(300, 'a'));
  EXPECT_EQ(MessageOf<EInvalidOperation>([&] { LoadFromFile(buffer, Path("big.wml")); }),
            "Text exceeds memo capacity");
  // 150 bytes on disk, 300 once every LF has become CR LF.
  WriteBytes(Path("breaks.wml"), std::string(150, '\n'));
  EXPECT_EQ(MessageOf<EInvalidOperation>([&] { LoadFromFile(buffer, Path("breaks.wml")); }),
            "Text exceeds memo capacity");
  EXPECT_EQ(StateOf(buffer), before);
}

TEST_F(DocumentFiles, HugeFileOfZerosOpensWithoutReadingItAll) {
  // 8 GB that take no disk space: the text ends at the first NUL, so only
  // the first 64 MB are read.
  WriteBytes(Path("image.wml"), "<wml/>\r\n");
  ASSERT_EQ(::truncate(QFile::encodeName(Path("image.wml")).constData(), off_t{8} << 30), 0);
  TMemoryBuffer buffer;
  LoadFromFile(buffer, Path("image.wml"));
  EXPECT_EQ(buffer.GetText(), "<wml/>\r\n");
}

TEST_F(DocumentFiles, TextBeyondTheFirstReadEndsAtItsNul) {
  // 64 MB and a bit of text, then 8 GB of zeros that take no disk space:
  // the text grows past the first read and stops at the first zero.
  std::string text;
  while (text.size() < (size_t{64} << 20)) text += "<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>\r\n";
  text += "<p/>";
  WriteBytes(Path("long.wml"), text);
  ASSERT_EQ(::truncate(QFile::encodeName(Path("long.wml")).constData(), off_t{8} << 30), 0);
  TMemoryBuffer buffer;
  LoadFromFile(buffer, Path("long.wml"));
  EXPECT_TRUE(buffer.GetText() == text) << buffer.GetText().size() << " bytes read";
}

TEST_F(DocumentFiles, FilesLongerThanTheirSizeSaysAreReadWhole) {
  // The kernel's own files call themselves empty and are read until their
  // end all the same; the symbol table takes several rounds of growth.
  for (const char* path : {"/proc/cpuinfo", "/proc/kallsyms"}) {
    std::string plain;
    {
      QFile file(QString::fromLatin1(path));
      if (!file.open(QIODevice::ReadOnly)) continue;
      plain = file.readAll().toStdString();
    }
    if (plain.empty()) continue;
    TMemoryBuffer buffer;
    LoadFromFile(buffer, QString::fromLatin1(path));
    EXPECT_EQ(buffer.GetText(), AdjustLineBreaks(plain)) << path;
  }
}

// Runs work in a child process and returns what it returns.
std::string AsChild(const std::function<std::string()>& work) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string result;
    try {
      result = work();
    } catch (const std::exception& error) {
      result = std::string("unexpected error: ") + error.what();
    }
    const char* data = result.data();
    size_t left = result.size();
    while (left > 0) {
      const ssize_t written = ::write(channel[1], data, left);
      if (written <= 0) break;
      data += written;
      left -= static_cast<size_t>(written);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string result;
  char chunk[256];
  for (ssize_t got; (got = ::read(channel[0], chunk, sizeof chunk)) > 0;) {
    result.append(chunk, static_cast<size_t>(got));
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

// Runs work as the unprivileged user and group 65534 ("nobody", "nogroup"),
// with no supplementary groups, in a child process when the tests run as
// root (where permission bits would not stop anything), and directly
// otherwise. Whatever groups root belongs to on this machine, the child
// shares none of them. Returns what work returns.
std::string AsUnprivileged(const std::function<std::string()>& work) {
  if (::geteuid() != 0) return work();
  return AsChild([&]() -> std::string {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
      return "cannot become nobody";
    return work();
  });
}

// Gives a file or folder to root's user and group when the tests run as
// root, so that only the "others" permission bits apply to the unprivileged
// child, whatever group the temporary folder hands its files down.
void OwnAsRoot(const QString& path) {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, 0), 0) << path.toStdString();
}

TEST_F(DocumentFiles, PermissionsAreReportedAndWritableFilesWrittenInPlace) {
  // The folder may be entered but not written by others.
  ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0755), 0);
  WriteBytes(Path("shared.wml"), "old shared");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("shared.wml")).constData(), 0666), 0);
  WriteBytes(Path("secret.wml"), "secret");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("secret.wml")).constData(), 0600), 0);
  WriteBytes(Path("locked.wml"), "locked");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("locked.wml")).constData(), 0444), 0);
  for (const char* name : {"shared.wml", "secret.wml", "locked.wml"}) OwnAsRoot(Path(name));
  OwnAsRoot(Folder());
  ::chmod(QFile::encodeName(Folder()).constData(), ::geteuid() == 0 ? 0755 : 0555);

  const std::string result = AsUnprivileged([&] {
    TMemoryBuffer buffer;
    buffer.SetText("new text");
    std::string out;
    out += MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("new.wml")); }) + "\n";
    out += MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("locked.wml")); }) + "\n";
    // No temporary file can go beside it, but the file itself is writable.
    out += MessageOf<EFCreateError>([&] { SaveToFile(buffer, Path("shared.wml")); }) + "\n";
    out += MessageOf<EFOpenError>([&] { LoadFromFile(buffer, Path("secret.wml")); }) + "\n";
    out += buffer.GetText();
    return out;
  });
  ::chmod(QFile::encodeName(Folder()).constData(), 0700);
  const std::string denied = "\". Permission denied\n";
  EXPECT_EQ(result, "Cannot create file \"" + Path("new.wml").toStdString() + denied +
                        "Cannot create file \"" + Path("locked.wml").toStdString() + denied +
                        "no error\n" + "Cannot open file \"" + Path("secret.wml").toStdString() +
                        denied + "new text");
  EXPECT_EQ(ReadBytes(Path("shared.wml")), "new text");
  EXPECT_EQ(ReadBytes(Path("locked.wml")), "locked");
  EXPECT_EQ(ReadBytes(Path("secret.wml")), "secret");
  EXPECT_EQ(FolderEntries(Folder()), QStringList({"locked.wml", "secret.wml", "shared.wml"}));
}

// Runs work in a child process with a mount namespace of its own, in which
// folder holds a fresh file system of the given size (in kilobytes) that
// vanishes with the child. Returns "skipped: <reason>" where mounting is not
// permitted (an unprivileged user), else what work returns.
std::string OnSmallFileSystem(const QString& folder, int kilobytes,
                              const std::function<std::string()>& work) {
  return AsChild([&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0)
      return "skipped: no mount namespace: " + SystemErrorText(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return "skipped: mounts cannot be made private: " + SystemErrorText(errno);
    }
    const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0755";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.c_str()) != 0) {
      return "skipped: cannot mount a file system: " + SystemErrorText(errno);
    }
    return work();
  });
}

// Fills the file system that holds folder until not one more byte fits.
void FillFileSystem(const QString& folder) {
  const int fd = ::open(QFile::encodeName(folder + "/filler").constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const std::string block(4096, 'z');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  while (::write(fd, "z", 1) > 0) {
  }
  ::close(fd);
}

TEST_F(DocumentFiles, InPlaceSaveOnAFullDiskLeavesTheFormerFile) {
  ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0755), 0);
  const QString disk = Path("disk");
  ASSERT_TRUE(QDir(Folder()).mkdir("disk"));
  const std::string former = std::string(23998, 'f') + "\r\n";
  const std::string result = OnSmallFileSystem(disk, 64, [&] {
    // The folder belongs to root, the file may be written by anyone: a user
    // can only rewrite it in place.
    const QString shared = disk + "/shared.wml";
    WriteBytes(shared, former);
    ::chmod(QFile::encodeName(shared).constData(), 0666);
    FillFileSystem(disk);
    return AsUnprivileged([&] {
             std::string out;
             TMemoryBuffer buffer;
             buffer.SetText(std::string(65536, 'n'));
             out += MessageOf<EWriteError>([&] { SaveToFile(buffer, shared); }) + "\n";
             out += (ReadBytes(shared) == former ? "former file kept" : "former file lost") +
                    std::string("\n");
             // A text that fits where the former one was is written in place.
             buffer.SetText(std::string(20000, 's'));
             out += MessageOf<EWriteError>([&] { SaveToFile(buffer, shared); }) + "\n";
             out += (ReadBytes(shared) == buffer.GetText() ? "new text written"
                                                           : "new text not written");
             return out;
           }) +
           "\n" + FolderEntries(disk).join(' ').toStdString();
  });
  if (result.rfind("skipped: ", 0) == 0) GTEST_SKIP() << result;
  EXPECT_EQ(result,
            "Stream write error\nformer file kept\nno error\nnew text written\nfiller shared.wml");
}

TEST_F(DocumentFiles, SaveBeyondTheFileSizeLimitFailsAndKeepsTheFormerFile) {
  // Under RLIMIT_FSIZE a write past the limit raises SIGXFSZ, which would end
  // the process; the save must fail as an error instead, both through the
  // temporary file and in place, and leave the former file as it was.
  ASSERT_EQ(::chmod(QFile::encodeName(Folder()).constData(), 0755), 0);
  ASSERT_TRUE(QDir(Folder()).mkdir("own"));
  ASSERT_EQ(::chmod(QFile::encodeName(Path("own")).constData(), 0777), 0);
  const std::string former = "former text\r\n";
  const QString shared = Path("shared.wml");
  const QString own = Path("own/own.wml");
  WriteBytes(shared, former);
  WriteBytes(own, former);
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0666), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0666), 0);
  OwnAsRoot(shared);
  OwnAsRoot(Folder());

  const std::string result = AsChild([&] {
    return AsUnprivileged([&] {
      const rlimit limit{4096, 4096};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit set");
      std::string out;
      TMemoryBuffer buffer;
      buffer.SetText(std::string(10000, 'n'));
      // No temporary file beside it: rewritten in place, refused up front.
      out += MessageOf<EWriteError>([&] { SaveToFile(buffer, shared); }) + "\n";
      // Through a temporary file: the write past the limit fails.
      out += MessageOf<EWriteError>([&] { SaveToFile(buffer, own); }) + "\n";
      out += ReadBytes(shared) == former && ReadBytes(own) == former ? "kept\n" : "lost\n";
      // A text within the limit is still saved both ways.
      buffer.SetText("short");
      out += MessageOf<EWriteError>([&] { SaveToFile(buffer, shared); }) + "\n";
      out += MessageOf<EWriteError>([&] { SaveToFile(buffer, own); }) + "\n";
      return out;
    });
  });
  EXPECT_EQ(result, "Stream write error\nStream write error\nkept\nno error\nno error\n");
  // The child's files: the former texts survived the failures, then the
  // short text replaced them.
  EXPECT_EQ(ReadBytes(shared), "short");
  EXPECT_EQ(ReadBytes(own), "short");
  EXPECT_EQ(FolderEntries(Path("own")), QStringList({"own.wml"}));
}

}  // namespace
}  // namespace deckhand
