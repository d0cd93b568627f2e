#pragma once

#include <string>

// The program's string resource `id` (101 to 112, ui/resource.h), as the
// bytes of ui/string_table.inc in the ANSI code page; empty for any other id.
std::string LoadResourceString(int id);
