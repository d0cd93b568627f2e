#include "tests/fidelity/fidelity_report.h"

#include "locate/browser_directory.h"
#include "patch/world_patcher.h"
#include "scan/world_scan.h"

namespace fidelity {

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

std::string LookUpScanAndPatch(int mode) {
  const std::string directory = GetBrowserDirectory();
  std::string report = "directory " + Hex(directory) + "\n";
  const std::string world = directory + "\\world";
  WorldFileList files;
  CollectWorldFiles(world, files);
  g_filesWritten = 0;
  for (const std::string& file : files)
    report += "file " + Hex(file) + " " + std::to_string(PatchWorldFile(file, mode, world)) + "\n";
  report += "written " + std::to_string(g_filesWritten) + "\n";
  return report;
}

}  // namespace fidelity
