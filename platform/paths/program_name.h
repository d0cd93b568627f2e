#pragma once

#include <string>

namespace platform {

// The running executable's file name without its extension ("quietwalk" on
// Linux, "SAPARiQuietwalk" on Windows). Empty when it cannot be found.
std::string ProgramName();

}  // namespace platform
