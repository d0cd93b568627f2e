#pragma once

#include <string>
#include <string_view>

// The program's own name: the main dialog's caption, and the first word of
// the About text.
inline constexpr std::string_view kProductName = "Quietwalk";

// The About text: "Quietwalk ", "Ver 1.0", the credit lines and the home
// page's address, each ended by a line feed but the last.
const std::string& AboutText();
