// The Windows half of the fidelity test: run under Wine in a prefix that the
// Linux side laid out, it prints the report of the lookup, the scan and the
// patch, which the Linux side compares with its own. With "hold PATH" it
// holds the file open with share mode 0 instead, says "held", and lets go
// once the file PATH.release exists.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fidelity/fidelity_report.h"

namespace {

constexpr int kHoldSeconds = 60;

int Hold(const std::string& path) {
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::puts(held == INVALID_HANDLE_VALUE ? "failed" : "held");
  std::fflush(stdout);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const std::string release = path + ".release";
  for (int waited = 0; waited < kHoldSeconds * 20; ++waited) {
    if (GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  CloseHandle(held);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "hold") return Hold(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: fidelity_helper MODE | fidelity_helper hold PATH\n");
    return 2;
  }
  const std::string report = fidelity::LookUpScanAndPatch(std::atoi(argv[1]));
  // Byte for byte: no CR before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
