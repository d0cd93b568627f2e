#include "platform/text/code_page.h"

#include <windows.h>

namespace platform {

unsigned AnsiCodePage() { return GetACP(); }

bool IsAnsiLeadByte(unsigned codePage, unsigned char byte) { return IsDBCSLeadByteEx(codePage, byte) != 0; }

std::u16string AnsiToUtf16(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, reinterpret_cast<wchar_t*>(out.data()), length);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  // Default flags: best-fit first, then the code page's default character,
  // as every A function converts.
  const auto* units = reinterpret_cast<const wchar_t*>(utf16.data());
  const int size = static_cast<int>(utf16.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, units, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, units, size, out.data(), length, nullptr, nullptr);
  return out;
}

// Windows names are ANSI to the A functions already: nothing to convert.
std::string AnsiToHostName(std::string_view ansi) { return std::string(ansi); }
std::string HostNameToAnsi(std::string_view hostName) { return std::string(hostName); }

char16_t UpperCaseUnit(char16_t unit) {
  wchar_t out = static_cast<wchar_t>(unit);
  const wchar_t in = out;
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1) != 1) return unit;
  return static_cast<char16_t>(out);
}

}  // namespace platform
