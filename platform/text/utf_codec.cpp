#include "platform/text/utf_codec.h"

namespace platform {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point at text[*i], moving *i past it. A lone surrogate gives
// `loneSurrogate` when it is set, else false.
bool NextCodePoint(std::u16string_view text, std::size_t* i, std::optional<char32_t> loneSurrogate, char32_t* cp) {
  const char16_t unit = text[(*i)++];
  *cp = unit;
  if (IsHighSurrogate(unit) && *i < text.size() && IsLowSurrogate(text[*i])) {
    *cp = 0x10000 + ((*cp - 0xD800) << 10) + (text[(*i)++] - 0xDC00u);
  } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
    if (!loneSurrogate) return false;
    *cp = *loneSurrogate;
  }
  return true;
}

std::size_t Utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

char* WriteUtf8(char32_t cp, char* out) {
  const std::size_t length = Utf8Length(cp);
  static constexpr unsigned char kLeadBits[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t k = length - 1; k > 0; --k) {
    out[k] = static_cast<char>(0x80 | (cp & 0x3F));
    cp >>= 6;
  }
  out[0] = static_cast<char>(kLeadBits[length] | cp);
  return out + length;
}

}  // namespace

Utf8Sequence ReadUtf8(std::string_view text, std::size_t i) {
  Utf8Sequence sequence;
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    sequence.codePoint = lead;
    sequence.valid = true;
    return sequence;
  }
  const int following = lead >= 0xF0 ? (lead <= 0xF4 ? 3 : -1) : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (following < 0) return sequence;
  static constexpr unsigned kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  char32_t code = lead & kLeadMask[following];
  for (int k = 0; k < following; ++k) {
    if (i + sequence.length >= text.size()) return sequence;
    const unsigned char next = static_cast<unsigned char>(text[i + sequence.length]);
    if (!IsContinuation(next)) return sequence;
    code = (code << 6) | (next & 0x3Fu);
    ++sequence.length;
  }
  sequence.codePoint = code;
  sequence.surrogate = code >= 0xD800 && code < 0xE000;
  sequence.valid = code >= kMinimum[following] && code <= 0x10FFFF && !sequence.surrogate;
  return sequence;
}

void AppendUtf16(char32_t codePoint, std::u16string* out) {
  if (codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(codePoint));
  }
}

bool AppendUtf8AsUtf16(std::string_view utf8, std::u16string* out) {
  // Never more units than bytes: written in place, then cut to size.
  const std::size_t start = out->size();
  out->resize(start + utf8.size());
  char16_t* const first = out->data() + start;
  char16_t* next = first;
  bool allValid = true;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {  // the usual case, kept short
      *next++ = c;
      ++i;
      continue;
    }
    const Utf8Sequence sequence = ReadUtf8(utf8, i);
    if (!sequence.valid) {
      allValid = false;
      *next++ = u'\uFFFD';
      ++i;
    } else if (sequence.codePoint >= 0x10000) {
      *next++ = static_cast<char16_t>(0xD800 + ((sequence.codePoint - 0x10000) >> 10));
      *next++ = static_cast<char16_t>(0xDC00 + ((sequence.codePoint - 0x10000) & 0x3FF));
      i += sequence.length;
    } else {
      *next++ = static_cast<char16_t>(sequence.codePoint);
      i += sequence.length;
    }
  }
  out->resize(start + static_cast<std::size_t>(next - first));
  return allValid;
}

bool AppendUtf16AsUtf8(std::u16string_view utf16, std::optional<char32_t> loneSurrogate, std::string* out) {
  std::size_t length = 0;
  char32_t cp;
  for (std::size_t i = 0; i < utf16.size();) {
    if (!NextCodePoint(utf16, &i, loneSurrogate, &cp)) return false;
    length += Utf8Length(cp);
  }
  const std::size_t start = out->size();
  out->resize(start + length);
  char* next = out->data() + start;
  for (std::size_t i = 0; i < utf16.size();) {
    NextCodePoint(utf16, &i, loneSurrogate, &cp);
    next = WriteUtf8(cp, next);
  }
  return true;
}

}  // namespace platform
