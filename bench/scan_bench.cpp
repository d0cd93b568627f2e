// The world scan against a plain recursive readdir walk of the same tree
// that collects the same kind of paths, over generated trees: 20,000 world
// files in 2,000 folders (100,000 entries), the same five times over, and
// 20,000 world files in 2,000 folders chained 40 deep, which shows whether
// a world's cost grows with its depth. Linux host only. The trees are made
// in the temporary folder (TMPDIR), each when a benchmark first needs it; on
// a tmpfs that takes seconds.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders/folder_enumeration.h"
#include "platform/paths/wine_prefix.h"
#include "scan/world_scan.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWorldFilesPerFolder = 10;
constexpr int kOtherFilesPerFolder = 39;
constexpr int kFoldersPerArea = 40;

// Areas of 40 folders each: one folder and 39 rooms below it, or a chain of
// 40 folders one inside the other.
enum TreeKind { kWide, kWideFiveTimes, kDeep };
constexpr const char* kTreeNames[] = {"wide", "wide5", "deep"};

std::string g_prefix;  // host folder of the throw-away Wine prefix

void TouchFile(const std::string& path) {
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  close(fd);
}

// A folder's own files: each world file among the textures, sounds and
// backups named after it, so that most entries come after a world file.
void FillFolder(const std::string& folder) {
  fs::create_directories(folder);
  static constexpr const char* kOtherSuffixes[] = {".gif", ".jpg", ".wav", ".wrl.bak", ".txt"};
  char name[48];
  int others = 0;
  for (int i = 0; i < kWorldFilesPerFolder; ++i) {
    std::snprintf(name, sizeof name, "/world%02d.wrl", i);
    TouchFile(folder + name);
    for (; others < kOtherFilesPerFolder * (i + 1) / kWorldFilesPerFolder; ++others) {
      std::snprintf(name, sizeof name, "/world%02d-%02d%s", i, others, kOtherSuffixes[others % 5]);
      TouchFile(folder + name);
    }
  }
}

void MakeArea(const std::string& area, TreeKind kind) {
  FillFolder(area);
  std::string chain = area;
  char name[32];
  for (int folder = 1; folder < kFoldersPerArea; ++folder) {
    if (kind == kDeep) {
      chain += "/dd";
      FillFolder(chain);
    } else {
      std::snprintf(name, sizeof name, "/room%02d", folder);
      FillFolder(area + name);
    }
  }
}

// The world folder of a tree, made on first use: C:\<name>.
std::string TreeRoot(TreeKind kind) {
  static bool made[3] = {};
  const std::string name = kTreeNames[kind];
  if (!made[kind]) {
    made[kind] = true;
    const int areas = kind == kWideFiveTimes ? 250 : 50;
    char area[32];
    for (int i = 0; i < areas; ++i) {
      std::snprintf(area, sizeof area, "/area%03d", i);
      MakeArea(g_prefix + "/drive_c/" + name + area, kind);
    }
  }
  return name;
}

std::string MakePrefix() {
  std::string pattern = (fs::temp_directory_path() / "quietwalk-scan-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  fs::create_directories(pattern + "/drive_c");
  fs::create_directories(pattern + "/dosdevices");
  fs::create_directory_symlink("../drive_c", pattern + "/dosdevices/c:");
  TouchFile(pattern + "/user.reg");
  return pattern;
}

void WalkTree(const std::string& folder, std::vector<std::string>& found) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + entry->d_name;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status;
      isFolder = lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }
    if (name.ends_with(".wrl")) found.push_back(path);
    if (isFolder) WalkTree(path, found);
  }
  closedir(dir);
}

void BM_PlainReaddirWalk(benchmark::State& state) {
  const std::string root = g_prefix + "/drive_c/" + TreeRoot(static_cast<TreeKind>(state.range(0)));
  std::size_t count = 0;
  for (auto _ : state) {
    std::vector<std::string> found;
    WalkTree(root, found);
    count = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["files"] = static_cast<double>(count);
}

// The platform's enumeration alone, with no status reads: the least a scan
// through it can cost.
void EnumerateTree(const std::string& folder, std::size_t& entries) {
  const auto listed = platform::EnumerateFolder(folder);
  if (!listed) return;
  for (const platform::FolderEntry& entry : *listed) {
    ++entries;
    if (entry.isFolder && entry.name != "." && entry.name != "..") EnumerateTree(entry.fullPath, entries);
  }
}

void BM_EnumerateFolderWalk(benchmark::State& state) {
  const std::string root = "C:\\" + TreeRoot(static_cast<TreeKind>(state.range(0)));
  std::size_t entries = 0;
  for (auto _ : state) {
    entries = 0;
    EnumerateTree(root, entries);
    benchmark::DoNotOptimize(entries);
  }
  state.counters["entries"] = static_cast<double>(entries);
}

void BM_CollectWorldFiles(benchmark::State& state) {
  const std::string root = "C:\\" + TreeRoot(static_cast<TreeKind>(state.range(0)));
  std::size_t count = 0;
  for (auto _ : state) {
    WorldFileList list;
    CollectWorldFiles(root, list);
    count = list.size();
    benchmark::DoNotOptimize(list.data());
  }
  state.counters["files"] = static_cast<double>(count);
}

void TreeArguments(benchmark::internal::Benchmark* bench) {
  bench->ArgName("tree")->Arg(kWide)->Arg(kWideFiveTimes)->Arg(kDeep)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PlainReaddirWalk)->Apply(TreeArguments);
BENCHMARK(BM_EnumerateFolderWalk)->Apply(TreeArguments);
BENCHMARK(BM_CollectWorldFiles)->Apply(TreeArguments);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  g_prefix = MakePrefix();
  platform::UseWinePrefix({g_prefix, g_prefix});
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(g_prefix, ignored);
  return 0;
}
