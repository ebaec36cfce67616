// Open and Save of a 10 MB document, in process, beside the plain work of
// reading the same file (what cat does) and copying it (what cp does), and
// beside cat and cp run as processes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DeckText.h"
#include "core/CodeBuffer.h"
#include "document/DocumentFiles.h"

extern char** environ;

namespace {

using namespace deckhand;

const size_t kDocumentSize = size_t{10} << 20;

// The folder with the 10 MB deck, made once for every benchmark.
struct TDeckFolder {
  TDeckFolder() : text(bench::DeckText(kDocumentSize)) {
    QFile file(Path("deck.wml"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size())) {
      std::abort();
    }
  }
  QString Path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }
  std::string Native(const char* name) const { return QFile::encodeName(Path(name)).toStdString(); }

  QTemporaryDir folder;
  std::string text;
};

const TDeckFolder& Deck() {
  static const TDeckFolder deck;
  return deck;
}

void BM_OpenDocument(benchmark::State& state) {
  const QString path = Deck().Path("deck.wml");
  for (auto _ : state) {
    // A fresh buffer each time: equal text would make SetTextStr a no-op.
    TMemoryBuffer buffer;
    LoadFromFile(buffer, path);
    benchmark::DoNotOptimize(buffer.LineIndex(1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDocumentSize));
}
BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// The buffer's share of Open: the same text handed to a fresh buffer. The
// copy made for the call is outside the timing, as Open hands its text over.
void BM_BufferSetTextStr(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::string text = Deck().text;
    TMemoryBuffer buffer;
    state.ResumeTiming();
    buffer.SetTextStr(std::move(text));
    benchmark::DoNotOptimize(buffer.LineIndex(1));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDocumentSize));
}
BENCHMARK(BM_BufferSetTextStr)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveDocument(benchmark::State& state) {
  TMemoryBuffer buffer;
  buffer.SetTextStr(Deck().text);
  const QString path = Deck().Path("saved.wml");
  for (auto _ : state) SaveToFile(buffer, path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDocumentSize));
}
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// What cat does: read the file in large chunks and drop them.
void BM_ReadBaseline(benchmark::State& state) {
  const std::string path = Deck().Native("deck.wml");
  std::unique_ptr<char[]> chunk(new char[128 * 1024]);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    while (::read(fd, chunk.get(), 128 * 1024) > 0) {
    }
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDocumentSize));
}
BENCHMARK(BM_ReadBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// A plain copy: read in chunks, write each into a truncated target.
void BM_CopyBaseline(benchmark::State& state) {
  const std::string from = Deck().Native("deck.wml");
  const std::string to = Deck().Native("copy.wml");
  std::unique_ptr<char[]> chunk(new char[128 * 1024]);
  for (auto _ : state) {
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    for (ssize_t got; (got = ::read(in, chunk.get(), 128 * 1024)) > 0;) {
      if (::write(out, chunk.get(), static_cast<size_t>(got)) != got) state.SkipWithError("write");
    }
    ::close(in);
    ::close(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDocumentSize));
}
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs a program with its output going to /dev/null and waits for it.
void Run(benchmark::State& state, std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    state.SkipWithError("cannot start");
  } else {
    int status = 0;
    ::waitpid(child, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

void BM_CatProcess(benchmark::State& state) {
  const std::string path = Deck().Native("deck.wml");
  for (auto _ : state) Run(state, {"cat", path});
}
BENCHMARK(BM_CatProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpProcess(benchmark::State& state) {
  const std::string from = Deck().Native("deck.wml");
  const std::string to = Deck().Native("cp.wml");
  for (auto _ : state) Run(state, {"cp", from, to});
}
BENCHMARK(BM_CpProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
