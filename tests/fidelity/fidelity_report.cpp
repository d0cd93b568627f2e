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
  // One world folder for the run, as the program opens it.
  platform::IoResult<platform::WorldFolder> folder = platform::WorldFolder::Open(world);
  for (const std::string& file : files) {
    const PatchResult result = folder ? PatchWorldFile(*folder, file, mode) : ResultForUnopenedFolder(folder.error());
    report += "file " + Hex(file) + " " + std::to_string(result) + "\n";
  }
  if (folder) (void)folder->Flush();
  report += "written " + std::to_string(g_filesWritten) + "\n";
  return report;
}

}  // namespace fidelity
