// Patching a world file with one line to change, as the run patches it
// (through its world folder, flushed), against two copies of the same bytes
// into a file of the same folder: a plain read and write, and a safe one
// that writes a new file, flushes it, renames it over the copy and flushes
// the folder, as a safe rewrite must. Also the safe rewrite alone (the world
// folder's read and atomic replace, no patching) and the rules alone. The
// heap counters give the peak bytes allocated during one call; x_copy and
// x_safe_copy compare the mean time with the two copies of the same size.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <random>
#include <string>

#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/files/world_folder.h"
#include "platform/paths/wine_prefix.h"

namespace {

namespace fs = std::filesystem;

// Heap use, counted by the replaced operator new and delete below.
std::size_t g_heapNow = 0;
std::size_t g_heapPeak = 0;

struct HeapPeak {
  std::size_t start = g_heapNow;
  HeapPeak() { g_heapPeak = g_heapNow; }
  std::size_t bytes() const { return g_heapPeak - start; }
};

// A throw-away Wine prefix with drive C: and one world folder.
class BenchPrefix {
 public:
  BenchPrefix() {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("quietwalk-bench-" + std::to_string(random()));
    fs::create_directories(m_root / "drive_c" / "world");
    fs::create_directories(m_root / "dosdevices");
    fs::create_directory_symlink("../drive_c", m_root / "dosdevices" / "c:");
    platform::UseWinePrefix({m_root.string(), m_root.string()});
  }
  ~BenchPrefix() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  fs::path World() const { return m_root / "drive_c" / "world"; }

 private:
  fs::path m_root;
};

BenchPrefix& Prefix() {
  static BenchPrefix prefix;
  return prefix;
}

// A declared world of about `size` bytes, CR LF throughout, whose one
// collisionSound line each patch in the other mode flips.
std::string WorldFile(std::size_t size) {
  const std::string name = "world" + std::to_string(size >> 20) + ".wrl";
  const fs::path host = Prefix().World() / name;
  if (!fs::exists(host)) {
    std::string text = "#VRML V2.0 utf8\r\nPROTO Sony_WorldInfo [\r\n  field SFBool collisionSound TRUE\r\n] {}\r\n";
    for (int i = 0; text.size() < size; ++i)
      text += "Transform { translation " + std::to_string(i) + " 0 0 children Shape { geometry Box {} } }\r\n";
    text.resize(size - 2);
    text += "\r\n";
    std::ofstream(host, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  return "C:\\world\\" + name;
}

// Mean seconds per call of the copies, by size, for the ratios.
std::map<std::int64_t, double> g_copySeconds;
std::map<std::int64_t, double> g_safeCopySeconds;

double MeanSeconds(const benchmark::State& state, std::chrono::steady_clock::duration total) {
  return std::chrono::duration<double>(total).count() / static_cast<double>(state.iterations());
}

void CompareWithCopies(benchmark::State& state, double seconds) {
  if (const auto copy = g_copySeconds.find(state.range(0)); copy != g_copySeconds.end())
    state.counters["x_copy"] = seconds / copy->second;
  if (const auto copy = g_safeCopySeconds.find(state.range(0)); copy != g_safeCopySeconds.end())
    state.counters["x_safe_copy"] = seconds / copy->second;
}

void BM_PatchWorldFile(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string path = WorldFile(size);
  int mode = 0;
  std::size_t peak = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    HeapPeak heap;
    // As the run patches it: through its world folder, flushed at the end.
    if (PatchWorldFile(path, mode, "C:\\world") != kPatchDone) state.SkipWithError("patch failed");
    peak = std::max(peak, heap.bytes());
    mode ^= 1;
  }
  CompareWithCopies(state, MeanSeconds(state, std::chrono::steady_clock::now() - start));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
  state.counters["peak_per_file_size"] = static_cast<double>(peak) / static_cast<double>(size);
}

// The rules alone, in memory, on the same text.
void BM_PatchWorldText(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  WorldFile(size);
  std::ifstream in(Prefix().World() / ("world" + std::to_string(size >> 20) + ".wrl"), std::ios::binary);
  std::string text(size, '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  int mode = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PatchWorldText(text, mode));
    mode ^= 1;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The file rewritten with its own bytes through its world folder.
bool Rewrite(const std::string& path) {
  platform::IoResult<platform::WorldFolder> folder = platform::WorldFolder::Open("C:\\world");
  if (!folder) return false;
  platform::IoResult<platform::WorldFile> file = folder->OpenFile(path);
  if (!file || !file->TakeExclusive()) return false;
  platform::IoResult<std::string> bytes = file->ReadAll();
  return bytes && file->ReplaceContent(*bytes) && folder->Flush();
}

void BM_ReadAndReplace(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string path = WorldFile(size);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (!Rewrite(path)) state.SkipWithError("rewrite failed");
  CompareWithCopies(state, MeanSeconds(state, std::chrono::steady_clock::now() - start));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

std::string ReadWhole(const fs::path& from) {
  std::string bytes(fs::file_size(from), '\0');
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) bytes.clear();
  if (in) std::fclose(in);
  return bytes;
}

void BM_CopyFile(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const fs::path from = Prefix().World() / ("world" + std::to_string(size >> 20) + ".wrl");
  WorldFile(size);
  const fs::path to = Prefix().World() / "copy.tmp";
  std::size_t peak = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    HeapPeak heap;
    const std::string bytes = ReadWhole(from);
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (bytes.empty() || !out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
      state.SkipWithError("copy failed");
    if (out) std::fclose(out);
    peak = std::max(peak, heap.bytes());
  }
  g_copySeconds[state.range(0)] = MeanSeconds(state, std::chrono::steady_clock::now() - start);
  fs::remove(to);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
}

void BM_SafeCopyFile(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const fs::path from = Prefix().World() / ("world" + std::to_string(size >> 20) + ".wrl");
  WorldFile(size);
  const fs::path to = Prefix().World() / "copy.tmp";
  const fs::path temporary = Prefix().World() / "copy.new";
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const std::string bytes = ReadWhole(from);
    const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int folder = open(Prefix().World().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (bytes.empty() || out < 0 || folder < 0 ||
        write(out, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || fsync(out) != 0 ||
        rename(temporary.c_str(), to.c_str()) != 0 || fsync(folder) != 0)
      state.SkipWithError("safe copy failed");
    if (out >= 0) close(out);
    if (folder >= 0) close(folder);
  }
  g_safeCopySeconds[state.range(0)] = MeanSeconds(state, std::chrono::steady_clock::now() - start);
  fs::remove(to);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

constexpr std::int64_t kOneMiB = 1 << 20;
constexpr std::int64_t kSixtyFourMiB = 64 << 20;

BENCHMARK(BM_CopyFile)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SafeCopyFile)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PatchWorldText)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndReplace)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PatchWorldFile)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Every allocation carries its size in front, so that delete can count it.
// Kept out of line: once inlined into operator delete, GCC takes the free()
// for a mismatch with operator new.
namespace {

constexpr std::size_t kHeapHeader = alignof(std::max_align_t);

[[gnu::noinline]] void* CountedAllocate(std::size_t size) {
  void* block = std::malloc(size + kHeapHeader);
  if (!block) return nullptr;
  *static_cast<std::size_t*>(block) = size;
  g_heapNow += size;
  g_heapPeak = std::max(g_heapPeak, g_heapNow);
  return static_cast<char*>(block) + kHeapHeader;
}

[[gnu::noinline]] void CountedRelease(void* pointer) {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - kHeapHeader;
  g_heapNow -= *static_cast<std::size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* pointer = CountedAllocate(size)) return pointer;
  throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept { CountedRelease(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { CountedRelease(pointer); }

BENCHMARK_MAIN();
