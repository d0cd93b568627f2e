// The Windows half of the fidelity test: run under Wine in a prefix that the
// Linux side laid out, it prints the report of the lookup, the scan and the
// patch, which the Linux side compares with its own.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fidelity/fidelity_report.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fidelity_helper MODE\n");
    return 2;
  }
  const std::string report = fidelity::LookUpScanAndPatch(std::atoi(argv[1]));
  // Byte for byte: no CR before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
