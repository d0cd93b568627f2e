#pragma once

#include <string>
#include <string_view>

// Text encodings, met only here: above platform/ every string is ANSI bytes.
namespace platform {

// The ANSI code page that Wine chooses for this process's locale: the first
// of LC_ALL, LC_CTYPE and LANG that is set, mapped as Wine maps it (1252 for
// C, POSIX and unknown or uninstalled locales, 932 for Japanese ones, ...).
// On Windows, GetACP().
unsigned AnsiCodePage();

// The same choice for given environment values (null or empty = unset).
unsigned AnsiCodePageForLocale(const char* lcAll, const char* lcCtype, const char* lang);

// Whether `byte` starts a double-byte character in that code page (Windows'
// IsDBCSLeadByteEx): the byte after it is part of the same character, even
// where it has the code of "\".
bool IsAnsiLeadByte(unsigned codePage, unsigned char byte);

// ANSI bytes of the current code page to UTF-16 and back. A character the
// target cannot hold becomes its best fit where Windows has one (é as "e" in
// 932), else '?' (one per UTF-16 unit), as the Win32 A functions give it.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);

// File names on the Linux host are UTF-8 whatever the locale. A byte that is
// not valid UTF-8 decodes to U+FFFD (and so to '?' in ANSI).
std::string AnsiToHostName(std::string_view ansi);
std::string HostNameToAnsi(std::string_view hostName);

// Upper case of one UTF-16 code unit, as the file system and the registry
// use it to compare names ignoring case.
char16_t UpperCaseUnit(char16_t unit);

}  // namespace platform
