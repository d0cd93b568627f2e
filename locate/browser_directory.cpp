#include "locate/browser_directory.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/files/file_status.h"
#include "platform/registry/registry.h"

namespace {

// Where the installer puts the browser by default, newest layout first.
constexpr std::string_view kFixedFolders[] = {
    "C:\\Sony\\Community Place Browser",
    "C:\\Program Files\\Sony\\Community Place Browser",
};
constexpr std::string_view kProgramFile = "\\bin\\cpbrowse.exe";

// The keys the installers wrote, in the order they are asked. The first
// names the service in hiragana, as code page 932 bytes handed to the ANSI
// call unconverted.
constexpr std::string_view kInstallKeys[] = {
    "Software\\Sony\\\x82\xB3\x82\xCF\x82\xE8\\Install",
    "Software\\Sony\\Community Place Browser\\Install",
    "Software\\Sony Corporation\\Community Place Browser\\Install",
};
constexpr std::size_t kDirectoryBufferBytes = 256;

// The key's "Directory" string, or empty when it is missing, of another
// type or longer than the buffer.
std::string ReadDirectoryValue(const platform::RegistryKey& key) {
  // Zeroed, so that a value with no data reads as empty text.
  unsigned char buffer[kDirectoryBufferBytes] = {};
  const platform::IoResult<platform::RegistryValueInfo> value =
      platform::QueryValue(key, "Directory", buffer, sizeof buffer);
  if (!value || value->type != platform::kRegSz) return {};
  const char* text = reinterpret_cast<const char*>(buffer);
  return std::string(text, std::find(text, text + std::min<std::size_t>(value->size, sizeof buffer), '\0'));
}

}  // namespace

std::string GetBrowserDirectory() {
  for (std::string_view folder : kFixedFolders) {
    if (platform::GetFileStatus(std::string(folder) + std::string(kProgramFile))) return std::string(folder);
  }
  for (std::string_view keyName : kInstallKeys) {
    // The first key that opens decides, even without a usable value.
    if (const platform::IoResult<platform::RegistryKey> key = platform::OpenCurrentUserKey(keyName))
      return ReadDirectoryValue(*key);
  }
  return {};
}
