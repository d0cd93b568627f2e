#include "platform/paths/program_name.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string ProgramName() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    // A full buffer means the name may have been cut short.
    if (length < buffer.size()) {
      std::string path(buffer.data(), length);
      std::string name = path.substr(path.find_last_of("\\/") + 1);
      const std::size_t dot = name.rfind('.');
      if (dot != std::string::npos) name.erase(dot);
      return name;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
