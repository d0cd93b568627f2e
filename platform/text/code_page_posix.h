#pragma once

// Conversions the Linux half of platform/ needs beyond code_page.h.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// AnsiToUtf16, but nullopt when a byte sequence is not valid in the current
// code page (where AnsiToUtf16 would put U+FFFD): such a path names nothing.
std::optional<std::u16string> AnsiToUtf16Strict(std::string_view ansi);

// UTF-8 host names and UTF-16. A byte that is not part of valid UTF-8 gives
// U+FFFD; *valid (when given) tells whether there was none.
std::u16string HostNameToUtf16(std::string_view hostName, bool* valid = nullptr);

// HostNameToUtf16 appended to *out; whether the name was valid UTF-8.
bool AppendHostNameUtf16(std::string_view hostName, std::u16string* out);

// AppendHostNameUtf16, each unit then through UpperCaseUnit: the key names
// are compared and ordered by.
bool AppendUpperCaseHostNameUtf16(std::string_view hostName, std::u16string* out);

// nullopt when `text` holds a lone surrogate, which no UTF-8 name can spell.
std::optional<std::string> Utf16ToHostName(std::u16string_view text);

// Utf16ToHostName appended to *out; false, with *out unchanged, on a lone
// surrogate.
bool AppendHostName(std::u16string_view text, std::string* out);

// Every unit through UpperCaseUnit.
std::u16string UpperCase(std::u16string_view text);

struct CodePageTable;

// The current ANSI code page, looked up once, for callers that convert many
// names in a row (the free functions look it up on every call).
class AnsiCodec {
 public:
  AnsiCodec();

  // Whether `ansi` is plain ASCII that this code page reads as the same
  // UTF-16 units (so also as the same UTF-8 host name), as nearly all do.
  bool KeepsUnchanged(std::string_view ansi) const;

  // Utf16ToAnsi and HostNameToAnsi in this code page.
  std::string FromUtf16(std::u16string_view utf16) const;
  std::string FromHostName(std::string_view hostName) const;

 private:
  const CodePageTable* m_table = nullptr;  // none for UTF-8
};

}  // namespace platform
