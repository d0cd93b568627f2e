#pragma once

#include <string>
#include <string_view>

// The program's own name: the main dialog's caption, and the first word of
// the About text.
inline constexpr std::string_view kProductName = "Quietwalk";

// The program's home page, named in every block the patcher inserts and in
// the About box.
inline constexpr std::string_view kHomePage = "http://quietwalk.example/";

// The About text: "Quietwalk ", "Ver 1.0", the credit lines and the home
// page's address, each ended by a line feed but the last.
const std::string& AboutText();
