#pragma once

#include <string>

// Where the VRML browser is installed: its root folder as stored (the fixed
// answers carry no trailing backslash), or empty when nothing was found.
// Every call repeats the whole lookup; nothing is cached. Never fails loudly.
std::string GetBrowserDirectory();
