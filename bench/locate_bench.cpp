// GetBrowserDirectory answered from the registry of a prefix whose user.reg
// is about 5 MB (no fixed install path exists, so both are probed first; the
// registry half is also measured alone),
// against two baselines from the same run: reading and parsing that user.reg
// (what every call would cost without the cached hive), and one stat() of
// it (the least a call that notices edits at once can cost); and once more
// while user.reg looks just saved. Linux host only.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "locate/browser_directory.h"
#include "platform/paths/wine_prefix.h"
#include "platform/registry/registry.h"
#include "platform/registry/user_reg.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kUserRegBytes = 5 << 20;
constexpr char kAnswer[] = "C:\\Program Files\\Sony\\Community Place Browser";

std::string g_prefix;  // host folder of the throw-away Wine prefix

// One key section in the mix a long-used prefix holds: paths, flags, a
// wrapped binary blob.
void AppendSection(std::string* text, int vendor, int product) {
  char line[160];
  std::snprintf(line, sizeof line, "\n[Software\\\\Vendor%04d\\\\Product%02d\\\\Settings] 1796706751\n", vendor,
                product);
  *text += line;
  *text += "#time=1dd86d2b9e8a3ea\n";
  std::snprintf(line, sizeof line, "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor%04d\\\\Product%02d\"\n", vendor,
                product);
  *text += line;
  *text += "\"Caption\"=\"Caf\\xe9 \\x4e2d\\x6587 window title\"\n";
  *text += "\"Expand\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n";
  for (int i = 0; i < 4; ++i) {
    std::snprintf(line, sizeof line, "\"Flag%d\"=dword:%08x\n", i, vendor * 31 + product * 7 + i);
    *text += line;
  }
  *text +=
      "\"Placement\"=hex:2c,00,00,00,00,00,00,00,01,00,00,00,ff,ff,ff,ff,ff,ff,ff,ff,\\\n"
      "  ff,ff,ff,ff,ff,ff,ff,ff,16,00,00,00,16,00,00,00,36,04,00,00,a6,02,00,00\n";
}

std::string GeneratedUserReg() {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
  for (int vendor = 0; text.size() < kUserRegBytes; ++vendor) {
    for (int product = 0; product < 10; ++product) AppendSection(&text, vendor, product);
    if (vendor == 1000)
      text +=
          "\n[Software\\\\Sony\\\\Community Place Browser\\\\Install] 1796706751\n"
          "#time=1dd86d2b9e8a3ea\n\"Directory\"=\"C:\\\\Program Files\\\\Sony\\\\Community Place Browser\"\n";
  }
  return text;
}

void MakePrefix() {
  std::string pattern = (fs::temp_directory_path() / "quietwalk-locate-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  g_prefix = pattern;
  fs::create_directories(g_prefix + "/drive_c");
  fs::create_directories(g_prefix + "/dosdevices");
  fs::create_directory_symlink("../drive_c", g_prefix + "/dosdevices/c:");
  fs::create_directory_symlink("/", g_prefix + "/dosdevices/z:");
  // The folders of a fresh drive C:, and some programs installed.
  for (const char* folder :
       {"Program Files/Common Files", "Program Files/Internet Explorer", "Program Files/Windows Media Player",
        "Program Files/Windows NT", "Program Files (x86)/Common Files", "ProgramData/Microsoft", "users/Public",
        "windows/system32"})
    fs::create_directories(g_prefix + "/drive_c/" + folder);
  for (int i = 0; i < 20; ++i) fs::create_directories(g_prefix + "/drive_c/Program Files/Vendor" + std::to_string(i));
  std::ofstream(g_prefix + "/user.reg", std::ios::binary) << GeneratedUserReg();
  platform::UseWinePrefix({g_prefix, g_prefix});
  // A file changed in the last two seconds is read again on every call, as
  // its timestamp may not yet tell a later edit apart; let it age.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
}

void BM_GetBrowserDirectory(benchmark::State& state) {
  if (GetBrowserDirectory() != kAnswer) {  // the first call reads the file
    state.SkipWithError("wrong answer");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(GetBrowserDirectory());
}
BENCHMARK(BM_GetBrowserDirectory)->Unit(benchmark::kMicrosecond);

// The registry half alone: the first key (missing), then the second.
void BM_RegistryHalf(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::OpenCurrentUserKey("Software\\Sony\\\x82\xB3\x82\xCF\x82\xE8\\Install"));
    platform::IoResult<platform::RegistryKey> key =
        platform::OpenCurrentUserKey("Software\\Sony\\Community Place Browser\\Install");
    unsigned char buffer[256];
    benchmark::DoNotOptimize(platform::QueryValue(*key, "Directory", buffer, sizeof buffer));
  }
}
BENCHMARK(BM_RegistryHalf)->Unit(benchmark::kMicrosecond);

void BM_ReadAndParseUserReg(benchmark::State& state) {
  for (auto _ : state) {
    std::ostringstream bytes;
    bytes << std::ifstream(g_prefix + "/user.reg", std::ios::binary).rdbuf();
    benchmark::DoNotOptimize(platform::ParseUserReg(bytes.str()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(g_prefix + "/user.reg")));
}
BENCHMARK(BM_ReadAndParseUserReg)->Unit(benchmark::kMillisecond);

void BM_StatUserReg(benchmark::State& state) {
  const std::string path = g_prefix + "/user.reg";
  struct stat status {};
  for (auto _ : state) benchmark::DoNotOptimize(stat(path.c_str(), &status));
}
BENCHMARK(BM_StatUserReg)->Unit(benchmark::kMicrosecond);

// GetBrowserDirectory while user.reg looks just saved, as it does for two
// seconds after the wineserver writes it (its times are set an hour ahead
// to keep it so): the bytes are read again, but parsed only when changed.
void BM_GetBrowserDirectoryJustSaved(benchmark::State& state) {
  const std::string path = g_prefix + "/user.reg";
  timespec ahead[2];
  clock_gettime(CLOCK_REALTIME, &ahead[0]);
  ahead[0].tv_sec += 3600;
  ahead[1] = ahead[0];
  if (utimensat(AT_FDCWD, path.c_str(), ahead, 0) != 0 || GetBrowserDirectory() != kAnswer) {
    state.SkipWithError("cannot make user.reg look just saved");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(GetBrowserDirectory());
}
BENCHMARK(BM_GetBrowserDirectoryJustSaved)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  MakePrefix();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(g_prefix, ignored);
  return 0;
}
