#pragma once

// The rules of Windows path syntax, as the Win32 A and W functions apply
// them (GetFullPathName's normalising, separators in double-byte code pages).
// Plain text processing that builds on every host: the Linux half resolves
// paths with it, and the same cases run against the real functions on
// Windows.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// "X:" at the start.
bool HasDrive(std::u16string_view path);
// "X:\" at the start, as GetFullPathName gives a path on a drive.
bool IsDriveAbsolute(std::u16string_view path);
bool IsDriveAbsolute(std::string_view asciiPath);

// Whether GetFullPathName would give `path` back unchanged: "X:\" and
// components needing no resolving, trimming or collapsing (none empty, none
// ending in a dot or a space, no "/"). The ASCII overload takes plain ASCII.
bool IsAlreadyFull(std::u16string_view path);
bool IsAlreadyFull(std::string_view asciiPath);

// GetFullPathNameW for a process whose current folder is `currentFolder` (a
// full path "X:\..." or empty when it lies on no drive): "/" becomes "\",
// doubled "\" collapse, "." and ".." are resolved, "\x" goes on the current
// drive, "C:x" and "x" are taken from the current folder (its drive's root
// for "C:x" on another drive; "C:" alone gives the folder with a final
// "\"). A component followed by "\" loses one final
// dot ("b..\" gives "b.\", "...\" gives a literal "..\"), and the last
// component every final dot and space. The drive letter keeps its case.
// UNC and device paths ("\\...") come back unchanged, "/" turned to "\".
// Empty when the path is empty or needs a current folder there is none of.
std::u16string FullPathName(std::u16string_view path, std::u16string_view currentFolder);

// ANSI paths in a code page: the second byte of a double-byte character
// may have the code of "\" (0x5C, as in 表 = 95 5C) and is no separator.

// Whether the path's last character is "\" or "/".
bool EndsWithSeparator(std::string_view ansiPath, unsigned codePage);

// Whether a name can be one component of a Windows path: not empty, no "\"
// or "/" in it, and not made of dots alone ("." and ".." name other
// folders, and "..." becomes ".." once a path is made full).
bool IsOneNameComponent(std::string_view ansiName, unsigned codePage);

// Whether Windows takes the last component of a path for a device rather
// than a file, as Wine decides it: the name less its final colons, less
// everything from its first dot on (and one colon before that dot), less its
// final spaces, is AUX, CON, NUL, PRN, COM1-COM9, LPT1-LPT9, CONIN$ or
// CONOUT$, in any case. So "nul.wrl", "NUL .x" and "aux:" name devices;
// "nulx.wrl", "com0", " nul" and a folder "nul" followed by "\" do not. The
// bytes tested are ASCII, which no double-byte character holds.
bool IsDeviceName(std::string_view name);
bool IsDeviceName(std::u16string_view name);

}  // namespace platform
