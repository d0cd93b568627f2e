// Patching a world file with one line to change, against copying the same
// bytes into a new file of the same folder, and against the safe rewrite
// alone (ExclusiveFile's read and atomic replace, no patching). The heap
// counters give the peak bytes allocated during one call.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>

#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "platform/files/exclusive_file.h"
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

void BM_PatchWorldFile(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string path = WorldFile(size);
  int mode = 0;
  std::size_t peak = 0;
  for (auto _ : state) {
    HeapPeak heap;
    // As the run calls it: kept inside the world folder.
    if (PatchWorldFile(path, mode, "C:\\world") != kPatchDone) state.SkipWithError("patch failed");
    peak = std::max(peak, heap.bytes());
    mode ^= 1;
  }
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

void BM_ReadAndReplace(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string path = WorldFile(size);
  for (auto _ : state) {
    std::optional<platform::ExclusiveFile> file = platform::ExclusiveFile::Open(path);
    std::string bytes;
    if (!file || file->ReadAll(&bytes) != platform::IoFailure::kNone ||
        file->ReplaceContent(bytes) != platform::IoFailure::kNone)
      state.SkipWithError("rewrite failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_CopyFile(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const fs::path from = Prefix().World() / ("world" + std::to_string(size >> 20) + ".wrl");
  WorldFile(size);
  const fs::path to = Prefix().World() / "copy.tmp";
  std::size_t peak = 0;
  for (auto _ : state) {
    HeapPeak heap;
    std::string bytes(fs::file_size(from), '\0');
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size() ||
        std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
      state.SkipWithError("copy failed");
    if (in) std::fclose(in);
    if (out) std::fclose(out);
    peak = std::max(peak, heap.bytes());
  }
  fs::remove(to);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
}

constexpr std::int64_t kOneMiB = 1 << 20;
constexpr std::int64_t kSixtyFourMiB = 64 << 20;

BENCHMARK(BM_CopyFile)->Arg(kOneMiB)->Arg(kSixtyFourMiB)->Unit(benchmark::kMillisecond)->UseRealTime();
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
