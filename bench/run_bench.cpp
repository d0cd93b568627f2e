// The batch run over 10,000 small world files through the real main dialog
// (its summary answered at once), against the sum of the PatchWorldFile calls
// alone on the same tree, made as the run makes them, rewritten afresh before
// each pass. What lies between the two is the run's own cost: the title,
// label and bar handed to the UI thread and painted there, and the install
// lookup made anew for the titles once a frame. Measured with the browser
// found at its fixed path and found through the registry, the costlier
// lookup, and with a busy neighbour: one process per core spinning beside
// the run, as a desktop's other programs would. The dialog is drawn on the
// display there is (DISPLAY or WAYLAND_DISPLAY), where painting costs what it
// costs the user; only without one on the offscreen platform. The tree lives
// in memory (/dev/shm where there is one): on a disk the flush of every
// rewrite would drown what is measured here. Linux host only.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_worlds.h"
#include "locate/browser_directory.h"
#include "patch/world_patcher.h"
#include "platform/paths/wine_prefix.h"
#include "qt/dialog_builder.h"
#include "qt/message_box.h"
#include "qt/quietwalk_dlg.h"
#include "run/ui_thread_bridge.h"
#include "scan/world_scan.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;  // 10,000 world files

enum Install { kFixedPath = 0, kRegistry = 1 };
enum Neighbour { kIdle = 0, kBusy = 1 };

struct Prefix {
  std::string host;          // the prefix folder
  std::string worldHost;     // the world folder on the host
  std::string worldWindows;  // the same as the program sees it
};

void Fail(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

fs::path ScratchFolder() {
  std::error_code error;
  if (fs::is_directory("/dev/shm", error)) return "/dev/shm";
  return fs::temp_directory_path();
}

// A throw-away prefix with the browser installed where `install` says.
Prefix MakePrefix(Install install) {
  std::string pattern = (ScratchFolder() / "quietwalk-run-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
  fs::create_directories(pattern + "/drive_c");
  fs::create_directories(pattern + "/dosdevices");
  fs::create_directory_symlink("../drive_c", pattern + "/dosdevices/c:");
  std::ofstream userReg(pattern + "/user.reg");
  userReg << "WINE REGISTRY Version 2\n"
             ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
  Prefix prefix{pattern, {}, {}};
  if (install == kFixedPath) {
    const std::string browser = pattern + "/drive_c/Program Files/Sony/Community Place Browser";
    fs::create_directories(browser + "/bin");
    std::ofstream(browser + "/bin/cpbrowse.exe") << "MZ";
    prefix.worldHost = browser + "/world";
    prefix.worldWindows = "C:\\Program Files\\Sony\\Community Place Browser\\world";
  } else {
    userReg << "\n[Software\\\\Sony\\\\Community Place Browser\\\\Install] 1700000000\n"
               "#time=1d9e0f2a0b0c0d0\n"
               "\"Directory\"=\"C:\\\\Games\\\\Community Place\"\n";
    prefix.worldHost = pattern + "/drive_c/Games/Community Place/world";
    prefix.worldWindows = "C:\\Games\\Community Place\\world";
  }
  if (!userReg) Fail("user.reg");
  return prefix;
}

// Writes (or rewrites) every world file of the tree with the bumps on.
void WriteTree(const Prefix& prefix) {
  char name[64];
  for (int folder = 0; folder < kFolders; ++folder) {
    std::snprintf(name, sizeof name, "/area%03d", folder);
    const std::string folderPath = prefix.worldHost + name;
    fs::create_directories(folderPath);
    for (int file = 0; file < kFilesPerFolder; ++file) {
      std::snprintf(name, sizeof name, "/room%03d.wrl", file);
      std::ofstream out(folderPath + name, std::ios::binary | std::ios::trunc);
      out << kWorldWithBumps;
      if (!out) Fail(folderPath + name);
    }
  }
}

// The program's boxes answered the moment they come up.
class AnsweringPresenter final : public MessageBoxPresenter {
 public:
  void Show(QWidget*, const std::string&, const std::string&, MessageIcon) override {}
};

// Seconds per pass, every pass of every repetition, by case (Install and
// Neighbour as the benchmark's arguments).
using Case = std::pair<int, int>;
std::map<Case, std::vector<double>> g_patchSeconds;
std::map<Case, std::vector<double>> g_runSeconds;

Case CaseOf(const benchmark::State& state) {
  return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// With kBusy, one process per core spinning for the life of the object.
class Neighbours {
 public:
  explicit Neighbours(Neighbour neighbour) {
    if (neighbour != kBusy) return;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        // Only spins: nothing of the parent's threads is touched after fork.
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      if (child > 0) m_children.push_back(child);
    }
  }
  ~Neighbours() {
    for (pid_t child : m_children) kill(child, SIGKILL);
    for (pid_t child : m_children) waitpid(child, nullptr, 0);
  }
  Neighbours(const Neighbours&) = delete;
  Neighbours& operator=(const Neighbours&) = delete;

 private:
  std::vector<pid_t> m_children;
};

struct PrefixInUse {
  explicit PrefixInUse(Install install) : prefix(MakePrefix(install)) {
    platform::UseWinePrefix({prefix.host, prefix.host});
  }
  ~PrefixInUse() {
    platform::UseWinePrefix({});
    fs::remove_all(prefix.host);
  }
  Prefix prefix;
};

void BM_PatchCallsAlone(benchmark::State& state) {
  PrefixInUse use(static_cast<Install>(state.range(0)));
  Neighbours neighbours(static_cast<Neighbour>(state.range(1)));
  for (auto _ : state) {
    WriteTree(use.prefix);
    WorldFileList files;
    CollectWorldFiles(use.prefix.worldWindows, files);
    g_filesWritten = 0;
    Clock::duration sum{};
    for (const std::string& path : files) {
      const auto start = Clock::now();
      benchmark::DoNotOptimize(PatchWorldFile(path, 0, use.prefix.worldWindows));
      sum += Clock::now() - start;
    }
    if (files.size() != kFolders * kFilesPerFolder || g_filesWritten != kFolders * kFilesPerFolder) {
      state.SkipWithError("not every file was found and rewritten");
      return;
    }
    const double seconds = std::chrono::duration<double>(sum).count();
    state.SetIterationTime(seconds);
    g_patchSeconds[CaseOf(state)].push_back(seconds);
  }
  state.counters["files"] = kFolders * kFilesPerFolder;
}

void BM_RunThroughTheDialog(benchmark::State& state) {
  PrefixInUse use(static_cast<Install>(state.range(0)));
  Neighbours neighbours(static_cast<Neighbour>(state.range(1)));
  AnsweringPresenter presenter;
  MessageBoxPresenter* previous = SetMessageBoxPresenter(&presenter);
  for (auto _ : state) {
    WriteTree(use.prefix);
    g_filesWritten = 0;
    CQuietwalkDlg dialog;
    Clock::time_point start, end;
    // From OK to the dialog's end, which follows the summary.
    QObject::connect(&dialog, &QDialog::finished, [&end] { end = Clock::now(); });
    QTimer::singleShot(0, &dialog, [&] {
      start = Clock::now();
      qobject_cast<QPushButton*>(dialog.GetDlgItem(kIdOk))->click();
    });
    if (dialog.DoModal() != 0 || g_filesWritten != kFolders * kFilesPerFolder) {
      state.SkipWithError("the run did not rewrite every file");
      break;
    }
    const double seconds = std::chrono::duration<double>(end - start).count();
    state.SetIterationTime(seconds);
    g_runSeconds[CaseOf(state)].push_back(seconds);
  }
  SetMessageBoxPresenter(previous);
  state.counters["files"] = kFolders * kFilesPerFolder;
}

// Where the difference goes: one install lookup, as made for the titles.
void BM_BrowserLookup(benchmark::State& state) {
  PrefixInUse use(static_cast<Install>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(GetBrowserDirectory());
}

// ... and one file shown through the run's bridge to the UI thread of a live
// dialog, as the worker pays for it: with nothing to redraw (Arg 0, the same
// file again), and with the title, label and bar changing as in the run
// (Arg 1). The display does what the main dialog's does, on a bare dialog.
class BareDisplay final : public QObject, public RunDisplay {
 public:
  QDialog dialog;
  QProgressBar progress{&dialog};
  QLabel status{&dialog};
  UiThreadBridge bridge{
      *this, {[this] { QCoreApplication::postEvent(this, new QEvent(kWake)); }, [](int) { return std::string(); }}};

  BareDisplay() { progress.setRange(1, 100); }
  ~BareDisplay() override { bridge.WaitForWorker(); }

  void PumpUiEvents() override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
  void ShowRunState(const RunState& state) override {
    dialog.setWindowTitle(QString::fromStdString(state.title));
    status.setText(QString::fromStdString(state.label));
    if (state.position) progress.setValue(*state.position);
  }
  void EndDialog(int code) override { dialog.done(code); }
  void ShowMessage(const std::string&, MessageIcon, bool) override {}

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() == kWake) bridge.ServePending();
  }

 private:
  static inline const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::registerEventType());
};

void BM_ShowFileRequest(benchmark::State& state) {
  constexpr int kRequests = 10000;
  const bool changing = state.range(0) != 0;
  for (auto _ : state) {
    BareDisplay display;
    Clock::duration spent{};
    display.bridge.StartWorker([&](RunWindow& run) {
      const auto start = Clock::now();
      for (int i = 0; i < kRequests; ++i) {
        const int k = changing ? i : 0;
        run.ShowFile("Quietwalk - ...\\world\\area" + std::to_string(k % 100) + "\\room.wrl",
                     "Writting File " + std::to_string(k) + " of 10000", changing ? i % 100 : 50);
      }
      spent = Clock::now() - start;
      run.EndDialog(0);
    });
    display.dialog.exec();
    display.bridge.WaitForWorker();
    state.SetIterationTime(std::chrono::duration<double>(spent).count() / kRequests);
  }
}

BENCHMARK(BM_BrowserLookup)->Arg(kFixedPath)->Arg(kRegistry);
BENCHMARK(BM_ShowFileRequest)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PatchCallsAlone)
    ->Args({kFixedPath, kIdle})
    ->Args({kRegistry, kIdle})
    ->Args({kFixedPath, kBusy})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunThroughTheDialog)
    ->Args({kFixedPath, kIdle})
    ->Args({kRegistry, kIdle})
    ->Args({kFixedPath, kBusy})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

bool HasDisplay() { return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY"); }

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !HasDisplay()) qputenv("QT_QPA_PLATFORM", "offscreen");
  benchmark::Initialize(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
  for (const auto& [runCase, runs] : g_runSeconds) {
    const auto patches = g_patchSeconds.find(runCase);
    if (patches == g_patchSeconds.end() || runs.empty() || patches->second.empty()) continue;
    const double run = Median(runs);
    const double patch = Median(patches->second);
    if (patch <= 0) continue;
    std::printf("%s%s: the run adds %.1f %% to the patch calls alone (medians of %zu: %.0f ms against %.0f ms)\n",
                runCase.first == kFixedPath ? "browser at its fixed path" : "browser through the registry",
                runCase.second == kBusy ? ", busy neighbours" : "", 100.0 * (run - patch) / patch, runs.size(),
                1000.0 * run, 1000.0 * patch);
  }
  return 0;
}
