// The Linux program's whole job without its window: the scan of the world
// tree and the run over every world it lists (CollectWorldFiles, then
// WriteFilesThread with the window's requests answered at once), against
// the floor: a readdir walk, then read, write, fsync and rename of just the
// files that change, and one sync of each folder that holds one of them.
// 10,000 and 100,000 worlds, 100 to a folder, all of them or a tenth
// needing the change, on a RAM file system (/dev/shm) and on disk (the
// temporary folder). The tree is written afresh before each pass, untimed.
//
// Each timed pass is marked by a failing write(-1, "job ...") so that a
// system call trace (strace -f) can be cut down to the job:
//   strace -f -c -o calls.txt job_bench --benchmark_filter='Job/10000/100/0'
// counts the calls of a pass plus the untimed setup; bench/job_syscalls
// counts only what lies between the marks.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_worlds.h"
#include "patch/world_patcher.h"
#include "platform/paths/wine_prefix.h"
#include "run/batch_run.h"
#include "run/run_window.h"
#include "scan/world_scan.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWorldsPerFolder = 100;

constexpr char kAlreadyQuiet[] =
    "#VRML V2.0 utf8\r\n"
    "PROTO Sony_WorldInfo [\r\n"
    "  field SFBool collisionSound FALSE\r\n"
    "] {}\r\n"
    "Sony_WorldInfo { collisionSound FALSE }\r\n"
    "Transform { children [ Shape { geometry Box { size 2 2 2 } } ] }\r\n";

void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

void MarkForTrace(const char* mark) { (void)!write(-1, mark, std::strlen(mark)); }

// A throw-away prefix with the browser at its fixed path, on a RAM file
// system or on disk.
class JobPrefix {
 public:
  explicit JobPrefix(bool onDisk) {
    std::error_code error;
    const fs::path scratch =
        !onDisk && fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (scratch / "quietwalk-job-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
    m_root = pattern;
    const std::string browser = m_root + "/drive_c/Program Files/Sony/Community Place Browser";
    fs::create_directories(browser + "/bin");
    fs::create_directories(m_root + "/dosdevices");
    fs::create_directory_symlink("../drive_c", m_root + "/dosdevices/c:");
    std::FILE* exe = std::fopen((browser + "/bin/cpbrowse.exe").c_str(), "wb");
    if (exe == nullptr) Fail("cpbrowse.exe");
    std::fclose(exe);
    std::FILE* userReg = std::fopen((m_root + "/user.reg").c_str(), "wb");
    if (userReg == nullptr) Fail("user.reg");
    std::fputs("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n", userReg);
    std::fclose(userReg);
    m_worldHost = browser + "/world";
    platform::UseWinePrefix({m_root, m_root});
  }
  ~JobPrefix() {
    platform::UseWinePrefix({});
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  JobPrefix(const JobPrefix&) = delete;
  JobPrefix& operator=(const JobPrefix&) = delete;

  const std::string& worldHost() const { return m_worldHost; }
  static constexpr const char* kWorldWindows = "C:\\Program Files\\Sony\\Community Place Browser\\world";

  // Every world written anew: one in `changingEvery` needs the change.
  // Gives how many do.
  int WriteTree(int worlds, int changingEvery) const {
    int changing = 0;
    char name[64];
    for (int i = 0; i < worlds; ++i) {
      if (i % kWorldsPerFolder == 0) {
        std::snprintf(name, sizeof name, "/area%04d", i / kWorldsPerFolder);
        fs::create_directories(m_worldHost + name);
      }
      std::snprintf(name, sizeof name, "/area%04d/room%03d.wrl", i / kWorldsPerFolder, i % kWorldsPerFolder);
      const bool change = i % changingEvery == 0;
      changing += change ? 1 : 0;
      const char* text = change ? kWorldWithBumps : kAlreadyQuiet;
      const int fd = open((m_worldHost + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0 || write(fd, text, std::strlen(text)) != static_cast<ssize_t>(std::strlen(text))) Fail(name);
      close(fd);
    }
    // What the writing left dirty must not be flushed inside a timed pass.
    sync();
    return changing;
  }

 private:
  std::string m_root;
  std::string m_worldHost;
};

// The window of a run whose requests are answered at once.
class AnsweringWindow final : public RunWindow {
 public:
  int messages = 0;
  void ShowFile(const std::string&, const std::string&, std::optional<int>) override {}
  void EndDialog(int) override {}
  void ShowMessage(const std::string&, MessageIcon, bool) override { ++messages; }
  std::string LoadStringA(int) override { return "%d"; }
};

// The floor's walk: every .wrl file under `folder`, folder by folder.
void WalkTree(const std::string& folder, std::vector<std::string>* files) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> folders;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type == DT_DIR)
      folders.push_back(folder + "/" + entry->d_name);
    else if (name.ends_with(".wrl"))
      files->push_back(folder + "/" + entry->d_name);
  }
  closedir(dir);
  for (const std::string& sub : folders) WalkTree(sub, files);
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) Fail(folder);
  close(fd);
}

// The floor's rewrite: the file read, and when it holds the bumps, a new
// copy with them off written, flushed and renamed over it.
bool RewriteIfNeeded(const std::string& path) {
  const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (in < 0 || fstat(in, &status) != 0) Fail(path);
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  if (read(in, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail(path);
  close(in);
  bool changed = false;
  for (std::size_t at = bytes.find("collisionSound TRUE"); at != std::string::npos;
       at = bytes.find("collisionSound TRUE", at)) {
    bytes.replace(at + 15, 4, "FALSE");
    changed = true;
  }
  if (!changed) return false;
  const std::string temporary = path + ".new";
  const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0 || write(out, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || fsync(out) != 0)
    Fail(temporary);
  close(out);
  if (rename(temporary.c_str(), path.c_str()) != 0) Fail(path);
  return true;
}

int FloorPass(const std::string& root) {
  std::vector<std::string> files;
  WalkTree(root, &files);
  int rewritten = 0;
  std::string dirtyFolder;
  for (const std::string& path : files) {
    if (!RewriteIfNeeded(path)) continue;
    ++rewritten;
    const std::string folder = path.substr(0, path.rfind('/'));
    if (folder != dirtyFolder && !dirtyFolder.empty()) SyncFolder(dirtyFolder);
    dirtyFolder = folder;
  }
  if (!dirtyFolder.empty()) SyncFolder(dirtyFolder);
  return rewritten;
}

int JobPass(AnsweringWindow& window) {
  WorldFileList files;
  CollectWorldFiles(JobPrefix::kWorldWindows, files);
  g_filesWritten = 0;
  WriteFilesThread(files, JobPrefix::kWorldWindows, 0, window);
  return g_filesWritten;
}

using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
std::map<Key, double> g_floorSeconds;  // mean seconds per pass

template <bool kJob>
void BM_Pass(benchmark::State& state) {
  const int worlds = static_cast<int>(state.range(0));
  const int changingEvery = 100 / static_cast<int>(state.range(1));
  const Key key{state.range(0), state.range(1), state.range(2)};
  JobPrefix prefix(state.range(2) != 0);
  AnsweringWindow window;
  double total = 0;
  for (auto _ : state) {
    const int changing = prefix.WriteTree(worlds, changingEvery);
    window.messages = 0;
    MarkForTrace(kJob ? "job start" : "floor start");
    const auto start = Clock::now();
    const int rewritten = kJob ? JobPass(window) : FloorPass(prefix.worldHost());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    MarkForTrace(kJob ? "job end" : "floor end");
    // The job shows its summary and nothing else.
    if (rewritten != changing || window.messages != (kJob ? 1 : 0)) {
      state.SkipWithError("not every changing world was rewritten, or a file was reported");
      return;
    }
    state.SetIterationTime(seconds);
    total += seconds;
  }
  const double mean = total / static_cast<double>(state.iterations());
  state.counters["us_per_world"] = mean * 1e6 / worlds;
  if (!kJob) {
    g_floorSeconds[key] = mean;
  } else if (const auto floor = g_floorSeconds.find(key); floor != g_floorSeconds.end()) {
    state.counters["x_floor"] = mean / floor->second;
  }
}

void BM_Floor(benchmark::State& state) { BM_Pass<false>(state); }
void BM_Job(benchmark::State& state) { BM_Pass<true>(state); }

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Worlds, percent needing the change, on disk (1) or in RAM (0); the
  // floor of each case runs just before the job it is compared with.
  for (std::int64_t onDisk : {0, 1})
    for (std::int64_t worlds : {10'000, 100'000})
      for (std::int64_t percent : {100, 10}) {
        const int iterations = worlds >= 100'000 ? 1 : 3;
        benchmark::RegisterBenchmark("Floor", BM_Floor)
            ->Args({worlds, percent, onDisk})
            ->Iterations(iterations)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Job", BM_Job)
            ->Args({worlds, percent, onDisk})
            ->Iterations(iterations)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
      }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
