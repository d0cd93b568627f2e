#pragma once

// UTF-8 and UTF-16, the encodings of host file names and of the registry
// file. Plain text processing that builds on every host.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// One UTF-8 sequence as read from its first byte.
struct Utf8Sequence {
  char32_t codePoint = 0;
  // Bytes taken: the whole sequence; for a bad one, its first byte and the
  // continuation bytes read before it went wrong (at least 1).
  std::size_t length = 1;
  // Well formed: no overlong form, no surrogate, nothing above U+10FFFF.
  bool valid = false;
  // Complete, but the code point of a surrogate half (ED A0 80 ...).
  bool surrogate = false;
};

Utf8Sequence ReadUtf8(std::string_view text, std::size_t i);

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// One code point (at most U+10FFFF) as UTF-16, a surrogate pair above U+FFFF.
void AppendUtf16(char32_t codePoint, std::u16string* out);

// UTF-8 text to UTF-16: each byte that is not part of a valid sequence
// gives one U+FFFD. Appended to *out; whether there was none.
bool AppendUtf8AsUtf16(std::string_view utf8, std::u16string* out);

// UTF-16 text as UTF-8, appended to *out. A lone surrogate gives
// `loneSurrogate` when it is set; else the conversion fails, false with
// *out unchanged.
bool AppendUtf16AsUtf8(std::u16string_view utf16, std::optional<char32_t> loneSurrogate, std::string* out);

}  // namespace platform
