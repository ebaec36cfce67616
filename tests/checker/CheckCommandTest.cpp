// The command-line checker: its output lines, exit statuses, refusals of
// files it cannot read, and the atomic writing of --wbxml; for decks and
// for WMLScript sources.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "checker/CheckCommand.h"
#include "wml/DeckCheck.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Unit.h"

using namespace deckhand::wml;
namespace fs = std::filesystem;

namespace {

const std::string kGood =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n"
    "<wml><card id=\"a\"><do type=\"prev\"><prev/></do><p>Hi</p></card></wml>\n";

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult Check(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  const int status = RunCheckCommand(arguments, out, err);
  return {status, out.str(), err.str()};
}

class CheckCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("deckhand-check-" + std::to_string(getpid()));
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const fs::path path = Folder / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path Folder;
};

}  // namespace

TEST_F(CheckCommand, ReportsFindingsAndSizesWithExitStatus) {
  const std::string good = Write("good.wml", kGood);
  TResult r = Check({good});
  EXPECT_EQ(r.Status, kCheckClean) << r.Out << r.Err;
  const std::size_t size = *CheckDeck(kGood).CompiledSize;
  EXPECT_EQ(r.Out, good + ": WML 1.1; скомпилированная колода " + ByteCount(size) +
                       "; примут все телефоны таблицы\n");

  const std::string bad = Write("bad.wml", kGood.substr(0, kGood.find("<do")) +
                                               "<p><input/></p></card><card id=\"b\"/></wml>\n");
  r = Check({good, bad});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Out.find(bad + ":3:22: ошибка: У элемента <input> нет обязательного атрибута name\n"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find(bad + ":3:41: предупреждение: На карточке «b» нет пути назад"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find(bad + ": не соответствует WML 1.1; скомпилированная колода"),
            std::string::npos);

  // --phone adds that phone's findings; a deck over its limit is an error.
  std::string big = kGood.substr(0, kGood.find("Hi"));
  for (int i = 0; i < 300; ++i) big += "line " + std::to_string(i) + "<br/>";
  big += "</p></card></wml>\n";
  const std::string large = Write("large.wml", big);
  r = Check({"--phone", "Nokia 7110", large});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Out.find("ошибка: Скомпилированная колода занимает"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("не примут: Nokia 7110 (до 1397 байт)"), std::string::npos) << r.Out;
  r = Check({"--phone=Motorola C380", large});
  EXPECT_EQ(r.Status, kCheckClean) << r.Out;

  // A binary file gets findings, not a crash.
  std::string binary(5000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 131);
  r = Check({Write("binary.wml", binary)});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Out.find("не является правильным XML"), std::string::npos);
}

TEST_F(CheckCommand, UsageAndReadingErrorsExitWithTwo) {
  TResult r = Check({"--help"});
  EXPECT_EQ(r.Status, kCheckClean);
  EXPECT_EQ(r.Out, CheckCommandHelp());
  for (const char* part : {"--phone", "--wbxml", "Nokia 7110", "Код возврата"}) {
    EXPECT_NE(r.Out.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(Check({}).Status, kCheckUsageError);
  EXPECT_EQ(Check({"--verbose", "x.wml"}).Status, kCheckUsageError);
  r = Check({"--phone", "Nokia 3310", "x.wml"});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("неизвестный телефон «Nokia 3310»"), std::string::npos) << r.Err;
  EXPECT_EQ(Check({"--phone"}).Status, kCheckUsageError);

  // A missing file, a folder and a FIFO: a clear message each, the other
  // files still checked, exit 2; the FIFO is not waited on.
  const std::string good = Write("good.wml", kGood);
  const std::string fifo = (Folder / "pipe.wml").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  r = Check({(Folder / "missing.wml").string(), Folder.string(), fifo, good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("missing.wml: не удаётся открыть файл: No such file or directory"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find(Folder.string() + ": это папка"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("pipe.wml: это не обычный файл"), std::string::npos) << r.Err;
  EXPECT_NE(r.Out.find(good + ": WML 1.1;"), std::string::npos) << r.Out;
  // "--" ends the options: a file may begin with a dash.
  const std::string dashed = Write("-deck.wml", kGood);
  fs::current_path(Folder);
  EXPECT_EQ(Check({"--", "-deck.wml"}).Status, kCheckClean);
  (void)dashed;
}

TEST_F(CheckCommand, WbxmlOutputIsWrittenWholeOrNotAtAll) {
  const std::string good = Write("good.wml", kGood);
  const std::string out = (Folder / "out.wmlc").string();
  Write("out.wmlc", "old");
  TResult r = Check({"--wbxml", out, good});
  EXPECT_EQ(r.Status, kCheckClean) << r.Err;
  EXPECT_EQ(Read(out), *CompileDeck(kGood));
  // Nothing else is left in the folder (no temporary file).
  int files = 0;
  for (const auto& entry : fs::directory_iterator(Folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 2);

  // A deck that does not compile leaves the old output as it was.
  const std::string broken = Write("broken.wml", "<wml><card>");
  r = Check({"--wbxml=" + out, broken});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Err.find("не записан"), std::string::npos) << r.Err;
  EXPECT_EQ(Read(out), *CompileDeck(kGood));

  // The deck itself is never the output.
  r = Check({"--wbxml", good, good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_EQ(Read(good), kGood);
  // One file only; an output folder that does not exist is a writing error.
  EXPECT_EQ(Check({"--wbxml", out, good, good}).Status, kCheckUsageError);
  r = Check({"--wbxml", (Folder / "no" / "such" / "x.wmlc").string(), good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("не удаётся создать файл"), std::string::npos) << r.Err;
  // A folder in the output's place is not replaced.
  fs::create_directories(Folder / "dir.wmlc");
  r = Check({"--wbxml", (Folder / "dir.wmlc").string(), good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_TRUE(fs::is_directory(Folder / "dir.wmlc"));
}

TEST_F(CheckCommand, UnreadableFileWinsOverErrorsWithExitTwo) {
  const std::string bad = Write("bad.wml", "<wml><card>");
  const std::string missing = (Folder / "missing.wml").string();
  // In either order: a file that cannot be read is exit 2, errors in
  // another deck do not lower it to 1.
  for (const auto& files :
       {std::vector<std::string>{missing, bad}, std::vector<std::string>{bad, missing}}) {
    const TResult r = Check(files);
    EXPECT_EQ(r.Status, kCheckUsageError) << r.Out << r.Err;
    EXPECT_NE(r.Out.find(bad + ":"), std::string::npos) << r.Out;  // still checked
    EXPECT_NE(r.Err.find("missing.wml: не удаётся открыть файл"), std::string::npos) << r.Err;
  }
  EXPECT_EQ(Check({bad}).Status, kCheckErrors);
}

TEST_F(CheckCommand, CompiledOutputGetsTheUsualMode) {
  const std::string good = Write("good.wml", kGood);
  const std::string out = (Folder / "out.wmlc").string();
  // The mode a new file gets: 0666 less the umask (not mkstemp's 0600).
  for (const auto& [mask, mode] :
       {std::pair<mode_t, mode_t>{022, 0644}, {027, 0640}, {002, 0664}}) {
    const mode_t old = umask(mask);
    const TResult r = Check({"--wbxml", out, good});
    umask(old);
    EXPECT_EQ(r.Status, kCheckClean) << r.Err;
    struct stat info {};
    ASSERT_EQ(stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << mask;
  }
}

TEST_F(CheckCommand, WbxmlRefusesALinkADeviceAndAFifo) {
  const std::string good = Write("good.wml", kGood);
  // A symbolic link (as /dev/stdout is) is refused and left a link; its
  // target is not touched either.
  const std::string target = Write("target.wmlc", "old");
  const fs::path link = Folder / "link.wmlc";
  fs::create_symlink(target, link);
  TResult r = Check({"--wbxml", link.string(), good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("link.wmlc: это символическая ссылка"), std::string::npos) << r.Err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(target), "old");
  // A dangling link too.
  const fs::path dangling = Folder / "dangling.wmlc";
  fs::create_symlink(Folder / "nowhere.wmlc", dangling);
  EXPECT_EQ(Check({"--wbxml", dangling.string(), good}).Status, kCheckUsageError);
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_FALSE(fs::exists(Folder / "nowhere.wmlc"));
  // A FIFO (a device is refused the same way; no test renames near one).
  const std::string fifo = (Folder / "pipe.wmlc").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  r = Check({"--wbxml", fifo, good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("это не обычный файл"), std::string::npos) << r.Err;
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(CheckCommand, FilesAreReadUpToALimit) {
  // A file past the limit is refused unread (a sparse file: no disk used).
  const std::string huge = (Folder / "huge.wml").string();
  fs::resize_file(Write("huge.wml", ""), kMaxDeckFileBytes + 1);
  TResult r = Check({huge});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_NE(r.Err.find("huge.wml: файл больше " + std::to_string(kMaxDeckFileBytes >> 20) + " МБ"),
            std::string::npos)
      << r.Err;
  // A file of /proc reports size 0 and holds far more: read up to the
  // limit, then refused (or failed), never read to the end of memory.
  if (fs::exists("/proc/self/pagemap")) {
    r = Check({"/proc/self/pagemap"});
    EXPECT_EQ(r.Status, kCheckUsageError) << r.Err;
    EXPECT_NE(r.Err.find("/proc/self/pagemap: "), std::string::npos) << r.Err;
  }
}

namespace {

// A stream buffer that takes nothing, as a full disk.
class TFullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

}  // namespace

TEST_F(CheckCommand, AReportThatCannotBeWrittenExitsWithTwo) {
  const std::string good = Write("good.wml", kGood);
  const std::string bad = Write("bad.wml", "<wml><card>");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{good}, std::vector<std::string>{bad},
        std::vector<std::string>{"--help"}}) {
    TFullBuffer full;
    std::ostream out(&full);
    std::ostringstream err;
    EXPECT_EQ(RunCheckCommand(arguments, out, err), kCheckUsageError) << arguments[0];
    EXPECT_NE(err.str().find("не удаётся записать отчёт"), std::string::npos) << err.str();
  }
}

TEST_F(CheckCommand, ScriptsAreCompiledWithTheCompilersDiagnosticsAndSize) {
  const std::string source = "extern function add(a, b) {\n  return a + b;\n}\n";
  const std::string good = Write("calc.wmls", source);
  const std::size_t size = deckhand::wmlscript::Compile(source).Unit->size();
  TResult r = Check({good});
  EXPECT_EQ(r.Status, kCheckClean) << r.Out << r.Err;
  EXPECT_EQ(r.Out, good + ": WMLScript 1.1; скомпилированный сценарий " + ByteCount(size) + "\n");

  // Errors as the compiler formats them, FILE:LINE:COLUMN, then no size;
  // a deck checked in the same run keeps its own report.
  const std::string bad =
      Write("bad.wmls", "extern function main() {\n  var x = 1\n  return x;\n}\n");
  const std::string deck = Write("deck.wml", kGood);
  r = Check({bad, deck});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_EQ(r.Out.substr(0, r.Out.find(deck)),
            bad + ":3:3: ошибка: ожидается «;», а стоит слово «return»\n" + bad +
                ": сценарий WMLScript не компилируется\n");
  EXPECT_NE(r.Out.find(deck + ": WML 1.1;"), std::string::npos) << r.Out;

  // A warning leaves the exit status clean; the name's case does not matter;
  // a Windows-1251 source is read as such.
  const std::string warned = Write("UPPER.WMLS", "function f() {}\n");
  r = Check({warned});
  EXPECT_EQ(r.Status, kCheckClean) << r.Out;
  EXPECT_NE(r.Out.find(warned + ":1:10: предупреждение: в сценарии нет ни одной функции extern"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find(warned + ": WMLScript 1.1; скомпилированный сценарий"), std::string::npos);
  const std::string cp1251 =
      Write("cp1251.wmls", "extern function f() { return \"\xcf\xf0\xe8\xe2\xe5\xf2\"; }\n");
  EXPECT_EQ(Check({cp1251}).Status, kCheckClean);
  // A script is not read as a deck, nor a deck as a script.
  r = Check({Write("deck.wmls", kGood)});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Out.find("сценарий WMLScript не компилируется"), std::string::npos) << r.Out;
}

TEST_F(CheckCommand, CompiledScriptIsWrittenAsSafelyAsADeck) {
  const std::string source = "extern function f(x) { return x * 2; }\n";
  const std::string good = Write("double.wmls", source);
  const std::string out = (Folder / "double.wmlsc").string();
  Write("double.wmlsc", "old");
  const mode_t old = umask(027);
  TResult r = Check({"--wbxml", out, good});
  umask(old);
  EXPECT_EQ(r.Status, kCheckClean) << r.Err;
  const std::string unit = Read(out);
  EXPECT_EQ(unit, *deckhand::wmlscript::Compile(source).Unit);
  std::string refusal;
  EXPECT_TRUE(deckhand::wmlscript::LoadUnit(unit, refusal)) << refusal;
  struct stat info {};
  ASSERT_EQ(stat(out.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // A script with an error leaves the old output as it was.
  const std::string bad = Write("bad.wmls", "extern function f( {}\n");
  r = Check({"--wbxml", out, bad});
  EXPECT_EQ(r.Status, kCheckErrors);
  EXPECT_NE(r.Err.find(bad + ": сценарий не компилируется, " + out + " не записан"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(Read(out), unit);
  // A symbolic link is not replaced, nor its target written.
  const fs::path link = Folder / "link.wmlsc";
  fs::create_symlink(out, link);
  r = Check({"--wbxml", link.string(), good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_TRUE(fs::is_symlink(link));
  // Nor the source itself.
  r = Check({"--wbxml", good, good});
  EXPECT_EQ(r.Status, kCheckUsageError);
  EXPECT_EQ(Read(good), source);
}

TEST_F(CheckCommand, DecodePrintsTheSourceOfACompiledDeck) {
  // A deck compiled by the checker itself comes back as WML source that
  // checks clean and compiles to the same bytes.
  const std::string deck = Write("deck.wml", kGood);
  const std::string compiled = (Folder / "deck.wmlc").string();
  ASSERT_EQ(Check({"--wbxml", compiled, deck}).Status, kCheckClean);
  const TResult decoded = Check({"--decode", compiled});
  ASSERT_EQ(decoded.Status, kCheckClean) << decoded.Err;
  EXPECT_EQ(decoded.Err, "");
  EXPECT_NE(decoded.Out.find("<card id=\"a\">"), std::string::npos) << decoded.Out;
  EXPECT_NE(decoded.Out.find("<prev/>"), std::string::npos) << decoded.Out;
  const std::string again = Write("again.wml", decoded.Out);
  const std::string recompiled = (Folder / "again.wmlc").string();
  ASSERT_EQ(Check({"--wbxml", recompiled, again}).Status, kCheckClean);
  EXPECT_EQ(Read(recompiled), Read(compiled));

  // Bytes that are no compiled deck are an error of the file (1) with the
  // reason; a file that cannot be read is 2; the option stands alone.
  const TResult garbage = Check({"--decode", Write("text.wmlc", "plain text, not WBXML")});
  EXPECT_EQ(garbage.Status, kCheckErrors);
  EXPECT_EQ(garbage.Out, "");
  EXPECT_NE(garbage.Err.find("text.wmlc: "), std::string::npos) << garbage.Err;
  EXPECT_EQ(Check({"--decode", (Folder / "missing.wmlc").string()}).Status, kCheckUsageError);
  EXPECT_EQ(Check({"--decode", compiled, compiled}).Status, kCheckUsageError);
  EXPECT_EQ(Check({"--decode", "--phone", "Nokia 7110", compiled}).Status, kCheckUsageError);
}
