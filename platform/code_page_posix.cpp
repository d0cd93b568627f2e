#include "platform/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>
#include <wctype.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/code_page_posix.h"

namespace platform {

struct CodePageTable {
  std::array<char16_t, 256> single{};  // a byte on its own; kNoChar when invalid alone
  std::array<bool, 256> lead{};        // a byte that starts a two-byte character
  std::vector<char16_t> pairs;         // [lead << 8 | trail]; empty for single-byte code pages
  // Per UTF-16 unit: 0 when the code page cannot hold it (U+0000 aside), a
  // byte below 0x100, else lead << 8 | trail.
  std::vector<std::uint16_t> encode;
  // Whether the bytes 00-7F and the units U+0000-U+007F map to each other
  // unchanged, so that ASCII text needs no conversion either way.
  bool asciiSame = false;
};

namespace {

constexpr unsigned kDefaultCodePage = 1252;
constexpr unsigned kUtf8CodePage = 65001;
constexpr char16_t kReplacement = 0xFFFD;
// U+FFFF is a noncharacter no code page maps to: it marks "no character".
constexpr char16_t kNoChar = 0xFFFF;

// ---------------------------------------------------------------------------
// Which code page a Unix locale gets

struct LanguageCodePage {
  std::string_view language;
  unsigned codePage;
};

// Languages whose Windows locales have an ANSI code page other than 1252;
// any other language, and any name that is no locale at all, gets 1252.
// Languages that Windows writes only in Unicode get UTF-8.
constexpr LanguageCodePage kLanguageCodePages[] = {
    {"cs", 1250},  {"hu", 1250},  {"pl", 1250},  {"ro", 1250},  {"sk", 1250},  {"sl", 1250},
    {"hr", 1250},  {"bs", 1250},  {"sq", 1250},  {"tk", 1250},  {"ru", 1251},  {"uk", 1251},
    {"be", 1251},  {"bg", 1251},  {"mk", 1251},  {"kk", 1251},  {"ky", 1251},  {"tt", 1251},
    {"mn", 1251},  {"ba", 1251},  {"sah", 1251}, {"tg", 1251},  {"sr", 1251},  {"el", 1253},
    {"tr", 1254},  {"az", 1254},  {"uz", 1254},  {"he", 1255},  {"ar", 1256},  {"fa", 1256},
    {"ur", 1256},  {"ug", 1256},  {"lt", 1257},  {"lv", 1257},  {"et", 1257},  {"vi", 1258},
    {"th", 874},   {"ja", 932},   {"ko", 949},   {"hi", 65001}, {"bn", 65001},
    {"ta", 65001}, {"te", 65001}, {"mr", 65001}, {"gu", 65001}, {"kn", 65001}, {"ml", 65001},
    {"pa", 65001}, {"or", 65001}, {"as", 65001}, {"hy", 65001}, {"ka", 65001}, {"am", 65001},
    {"ne", 65001}, {"si", 65001}, {"km", 65001}, {"lo", 65001}, {"bo", 65001}, {"dv", 65001},
    {"syr", 65001}, {"kok", 65001}, {"sa", 65001},
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Wine turns "language_COUNTRY.charset@modifier" into the Windows locale
// "language-COUNTRY" (the modifier picking a script); the charset plays no part.
unsigned CodePageOfLocaleName(std::string_view name) {
  std::string_view language = name.substr(0, name.find_first_of("_.@"));
  std::string_view country, modifier;
  if (size_t at = name.find('@'); at != std::string_view::npos) modifier = name.substr(at + 1);
  if (name.size() > language.size() && name[language.size()] == '_') {
    country = name.substr(language.size() + 1);
    country = country.substr(0, country.find_first_of(".@"));
  }
  const std::string lang = Lower(language);
  const std::string script = Lower(modifier);
  const std::string region = Lower(country);
  if (lang == "zh") return (region == "tw" || region == "hk" || region == "mo") ? 950 : 936;
  if (lang == "sr" && script == "latin") return 1250;
  if ((lang == "uz" || lang == "az" || lang == "bs") && script == "cyrillic") return 1251;
  for (const LanguageCodePage& entry : kLanguageCodePages)
    if (entry.language == lang) return entry.codePage;
  return kDefaultCodePage;
}

bool LocaleLoads(const char* name) {
  locale_t locale = newlocale(LC_ALL_MASK, name, nullptr);
  if (locale == nullptr) return false;
  freelocale(locale);
  return true;
}

const char* SetOrNull(const char* value) { return value != nullptr && *value != '\0' ? value : nullptr; }

struct CodePageCache {
  bool valid = false;
  std::string lcAll, lcCtype, lang;
  unsigned codePage = kDefaultCodePage;
};

// getenv() of the three, in one pass over the environment instead of three.
void FindLocaleVariables(const char** lcAll, const char** lcCtype, const char** lang) {
  struct Wanted {
    std::string_view prefix;
    const char** value;
  };
  const Wanted wanted[] = {{"LC_ALL=", lcAll}, {"LC_CTYPE=", lcCtype}, {"LANG=", lang}};
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if ((*entry)[0] != 'L') continue;
    for (const Wanted& variable : wanted)
      if (*variable.value == nullptr && std::strncmp(*entry, variable.prefix.data(), variable.prefix.size()) == 0)
        *variable.value = *entry + variable.prefix.size();
  }
}

bool SameValue(const std::string& cached, const char* value) {
  return value == nullptr ? cached.empty() : cached == value;
}

// ---------------------------------------------------------------------------
// Code page tables, built once per code page through iconv

// One conversion descriptor, used by a single thread while tables are built.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return m_cd != Failed(); }

  // Converts the whole of `in` from the initial state; 0 or the errno of the
  // failure (EINVAL: the input ends inside a character).
  int Convert(const char* in, size_t inSize, char* out, size_t* outSize) {
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* inPointer = const_cast<char*>(in);
    char* outPointer = out;
    size_t inLeft = inSize;
    size_t outLeft = *outSize;
    if (iconv(m_cd, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1)) return errno;
    // Code pages such as 1258 hold a character back until they see what follows.
    if (iconv(m_cd, nullptr, nullptr, &outPointer, &outLeft) == static_cast<size_t>(-1)) return errno;
    *outSize -= outLeft;
    return 0;
  }

 private:
  static iconv_t Failed() { return reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)); }
  iconv_t m_cd;
};

char16_t Utf16LeUnit(const char* bytes) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                               (static_cast<unsigned char>(bytes[1]) << 8));
}

bool MapsAsciiUnchanged(const CodePageTable& table) {
  for (unsigned b = 0; b < 0x80; ++b)
    if (table.lead[b] || table.single[b] != b || (b != 0 && table.encode[b] != b)) return false;
  return true;
}

std::unique_ptr<CodePageTable> Latin1Table() {
  auto table = std::make_unique<CodePageTable>();
  table->encode.assign(0x10000, 0);
  for (unsigned b = 0; b < 256; ++b) {
    table->single[b] = static_cast<char16_t>(b);
    table->encode[b] = static_cast<std::uint16_t>(b);
  }
  table->asciiSame = true;
  return table;
}

std::unique_ptr<CodePageTable> BuildTable(unsigned codePage) {
  char name[16];
  std::snprintf(name, sizeof name, "CP%u", codePage);
  Converter decoder("UTF-16LE", name);
  Converter encoder(name, "UTF-16LE");
  if (!decoder.ok() || !encoder.ok()) return Latin1Table();

  auto table = std::make_unique<CodePageTable>();
  bool doubleByte = false;
  char out[16];
  for (unsigned b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    size_t outSize = sizeof out;
    const int error = decoder.Convert(&in, 1, out, &outSize);
    table->single[b] = (error == 0 && outSize == 2) ? Utf16LeUnit(out) : kNoChar;
    if (error == EINVAL) table->lead[b] = doubleByte = true;
  }
  if (doubleByte) {
    table->pairs.assign(0x10000, kNoChar);
    for (unsigned b = 0; b < 256; ++b) {
      if (!table->lead[b]) continue;
      for (unsigned t = 0; t < 256; ++t) {
        const char in[2] = {static_cast<char>(b), static_cast<char>(t)};
        size_t outSize = sizeof out;
        if (decoder.Convert(in, 2, out, &outSize) == 0 && outSize == 2)
          table->pairs[b << 8 | t] = Utf16LeUnit(out);
      }
    }
  } else {
    // Bytes a single-byte code page leaves undefined (81 8D 8F 90 9D in
    // 1252) stand for the control characters of the same number, both ways.
    for (unsigned b = 0; b < 256; ++b)
      if (table->single[b] == kNoChar) table->single[b] = static_cast<char16_t>(b);
  }

  table->encode.assign(0x10000, 0);
  for (unsigned unit = 1; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit < 0xE000) continue;
    const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    size_t outSize = sizeof out;
    if (encoder.Convert(in, 2, out, &outSize) != 0) continue;
    const unsigned first = static_cast<unsigned char>(out[0]);
    if (outSize == 1 && first != 0) {
      table->encode[unit] = static_cast<std::uint16_t>(first);
    } else if (outSize == 2 && doubleByte && table->lead[first]) {
      table->encode[unit] = static_cast<std::uint16_t>(first << 8 | static_cast<unsigned char>(out[1]));
    }
  }
  if (!doubleByte) {
    for (unsigned b = 0x80; b < 256; ++b)
      if (table->single[b] == b && table->encode[b] == 0) table->encode[b] = static_cast<std::uint16_t>(b);
  }
  table->asciiSame = MapsAsciiUnchanged(*table);
  return table;
}

// Tables never change once built, so threads share them; each thread
// remembers the last one it used to stay off the lock.
const CodePageTable& TableFor(unsigned codePage) {
  thread_local unsigned lastCodePage = 0;
  thread_local const CodePageTable* lastTable = nullptr;
  if (lastTable != nullptr && lastCodePage == codePage) return *lastTable;

  static std::mutex mutex;
  static std::unordered_map<unsigned, std::unique_ptr<const CodePageTable>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = tables[codePage];
  if (!slot) slot = BuildTable(codePage);
  lastCodePage = codePage;
  lastTable = slot.get();
  return *lastTable;
}

std::u16string DecodeWithTable(const CodePageTable& table, std::string_view ansi, bool* valid) {
  // Never more units than bytes.
  std::u16string out(ansi.size(), u'\0');
  size_t length = 0;
  for (size_t i = 0; i < ansi.size();) {
    const unsigned b = static_cast<unsigned char>(ansi[i]);
    char16_t unit;
    if (table.lead[b]) {
      // As Wine does, a lead byte takes the next byte whatever it is.
      unit = i + 1 < ansi.size() ? table.pairs[b << 8 | static_cast<unsigned char>(ansi[i + 1])] : kNoChar;
      i += 2;
    } else {
      unit = table.single[b];
      ++i;
    }
    if (unit == kNoChar) {
      *valid = false;
      unit = kReplacement;
    }
    out[length++] = unit;
  }
  out.resize(length);
  return out;
}

std::string EncodeWithTable(const CodePageTable& table, std::u16string_view utf16) {
  size_t length = 0;
  for (char16_t unit : utf16) length += unit != 0 && table.encode[unit] >= 0x100 ? 2 : 1;
  std::string out(length, '\0');
  char* next = out.data();
  for (char16_t unit : utf16) {
    const std::uint16_t bytes = unit == 0 ? 0 : table.encode[unit];
    if (unit != 0 && bytes == 0) {
      *next++ = '?';
    } else if (bytes < 0x100) {
      *next++ = static_cast<char>(bytes);
    } else {
      *next++ = static_cast<char>(bytes >> 8);
      *next++ = static_cast<char>(bytes & 0xFF);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// UTF-8

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at text[i] and its code point in *cp,
// or 0 when the byte there starts none.
size_t DecodeUtf8At(std::string_view text, size_t i, char32_t* cp) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t length;
  char32_t value;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    value = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    value = c & 0x0Fu;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    value = c & 0x07u;
    if (c == 0xF0) low = 0x90;   // overlong
    if (c == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  const unsigned char second = static_cast<unsigned char>(text[i + 1]);
  if (second < low || second > high) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(next)) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  *cp = value;
  return length;
}

char16_t* WriteUtf16(char32_t cp, char16_t* out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    *out++ = static_cast<char16_t>(cp);
  }
  return out;
}

size_t Utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

char* WriteUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// The code point at text[*i], moving *i past it. A lone surrogate gives
// `loneSurrogate` when it is set, else false.
bool NextCodePoint(std::u16string_view text, size_t* i, std::optional<char32_t> loneSurrogate, char32_t* cp) {
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

// Appends UTF-8 of UTF-16 text; a lone surrogate gives `loneSurrogate` when
// it is set, else makes the whole conversion fail with `out` unchanged.
bool AppendUtf8(std::u16string_view text, std::optional<char32_t> loneSurrogate, std::string* out) {
  size_t length = 0;
  char32_t cp;
  for (size_t i = 0; i < text.size();) {
    if (!NextCodePoint(text, &i, loneSurrogate, &cp)) return false;
    length += Utf8Length(cp);
  }
  const size_t start = out->size();
  out->resize(start + length);
  char* next = out->data() + start;
  for (size_t i = 0; i < text.size();) {
    NextCodePoint(text, &i, loneSurrogate, &cp);
    next = WriteUtf8(cp, next);
  }
  return true;
}

std::optional<std::string> EncodeUtf8(std::u16string_view text, std::optional<char32_t> loneSurrogate) {
  std::string out;
  if (!AppendUtf8(text, loneSurrogate, &out)) return std::nullopt;
  return out;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::u16string Decode(unsigned codePage, std::string_view ansi, bool* valid) {
  *valid = true;
  if (codePage == kUtf8CodePage) return HostNameToUtf16(ansi, valid);
  return DecodeWithTable(TableFor(codePage), ansi, valid);
}

// Built once: the case mapping does not depend on the process's locale.
struct UpperCaseTable {
  std::array<char16_t, 0x10000> upper{};
  UpperCaseTable() {
    locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
      wint_t mapped = unit;
      if (unit >= 0xD800 && unit < 0xE000) {
        // a surrogate half has no case
      } else if (locale != nullptr) {
        mapped = towupper_l(unit, locale);
      } else if (unit >= 'a' && unit <= 'z') {
        mapped = unit - 'a' + 'A';
      }
      upper[unit] = static_cast<char16_t>(mapped < 0x10000 ? mapped : unit);
    }
    if (locale != nullptr) freelocale(locale);
  }
};

}  // namespace

unsigned AnsiCodePageForLocale(const char* lcAll, const char* lcCtype, const char* lang) {
  lcAll = SetOrNull(lcAll);
  lcCtype = SetOrNull(lcCtype);
  lang = SetOrNull(lang);
  // setlocale(LC_ALL, "") loads every category or none: LC_ALL names them
  // all, else LC_CTYPE its own and LANG the rest.
  const bool loads = lcAll != nullptr ? LocaleLoads(lcAll)
                                      : (lcCtype == nullptr || LocaleLoads(lcCtype)) &&
                                            (lang == nullptr || LocaleLoads(lang));
  const char* ctype = lcAll != nullptr ? lcAll : lcCtype != nullptr ? lcCtype : lang;
  // Wine, left with the C locale, reads LC_ALL itself, installed or not.
  const char* name = (loads && ctype != nullptr && std::strcmp(ctype, "C") != 0) ? ctype : lcAll;
  return name == nullptr ? kDefaultCodePage : CodePageOfLocaleName(name);
}

unsigned AnsiCodePage() {
  // Asked on every conversion: the answer is kept per thread for as long as
  // the three variables stay the same.
  thread_local CodePageCache cache;
  const char* lcAll = nullptr;
  const char* lcCtype = nullptr;
  const char* lang = nullptr;
  FindLocaleVariables(&lcAll, &lcCtype, &lang);
  lcAll = SetOrNull(lcAll);
  lcCtype = SetOrNull(lcCtype);
  lang = SetOrNull(lang);
  if (cache.valid && SameValue(cache.lcAll, lcAll) && SameValue(cache.lcCtype, lcCtype) &&
      SameValue(cache.lang, lang))
    return cache.codePage;
  cache.codePage = AnsiCodePageForLocale(lcAll, lcCtype, lang);
  cache.lcAll = lcAll != nullptr ? lcAll : "";
  cache.lcCtype = lcCtype != nullptr ? lcCtype : "";
  cache.lang = lang != nullptr ? lang : "";
  cache.valid = true;
  return cache.codePage;
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  bool valid;
  return Decode(AnsiCodePage(), ansi, &valid);
}

std::optional<std::u16string> AnsiToUtf16Strict(std::string_view ansi) {
  bool valid;
  std::u16string text = Decode(AnsiCodePage(), ansi, &valid);
  if (!valid) return std::nullopt;
  return text;
}

std::string Utf16ToAnsi(std::u16string_view utf16) { return AnsiCodec().FromUtf16(utf16); }

AnsiCodec::AnsiCodec() {
  if (const unsigned codePage = AnsiCodePage(); codePage != kUtf8CodePage) m_table = &TableFor(codePage);
}

std::string AnsiCodec::FromUtf16(std::u16string_view utf16) const {
  if (m_table == nullptr) return *EncodeUtf8(utf16, U'?');
  return EncodeWithTable(*m_table, utf16);
}

bool AnsiCodec::KeepsUnchanged(std::string_view ansi) const {
  // Checked for each code page when its table is built, not assumed.
  return (m_table == nullptr || m_table->asciiSame) && IsAscii(ansi);
}

std::string AnsiCodec::FromHostName(std::string_view hostName) const {
  // The usual name is plain ASCII, the same text in the code page.
  if (KeepsUnchanged(hostName)) return std::string(hostName);
  return FromUtf16(HostNameToUtf16(hostName));
}

bool AppendHostNameUtf16(std::string_view hostName, std::u16string* out) {
  // Never more units than bytes.
  const size_t start = out->size();
  out->resize(start + hostName.size());
  char16_t* const first = out->data() + start;
  char16_t* next = first;
  bool allValid = true;
  for (size_t i = 0; i < hostName.size();) {
    char32_t cp;
    const size_t length = DecodeUtf8At(hostName, i, &cp);
    if (length == 0) {
      allValid = false;
      *next++ = kReplacement;
      ++i;
    } else {
      next = WriteUtf16(cp, next);
      i += length;
    }
  }
  out->resize(start + static_cast<size_t>(next - first));
  return allValid;
}

std::u16string HostNameToUtf16(std::string_view hostName, bool* valid) {
  std::u16string out;
  const bool allValid = AppendHostNameUtf16(hostName, &out);
  if (valid != nullptr) *valid = allValid;
  return out;
}

bool AppendHostName(std::u16string_view text, std::string* out) { return AppendUtf8(text, std::nullopt, out); }

std::optional<std::string> Utf16ToHostName(std::u16string_view text) { return EncodeUtf8(text, std::nullopt); }

std::string AnsiToHostName(std::string_view ansi) { return *EncodeUtf8(AnsiToUtf16(ansi), kReplacement); }

std::string HostNameToAnsi(std::string_view hostName) { return AnsiCodec().FromHostName(hostName); }

namespace {

const UpperCaseTable& UpperCaseUnits() {
  static const UpperCaseTable table;
  return table;
}

}  // namespace

char16_t UpperCaseUnit(char16_t unit) { return UpperCaseUnits().upper[unit]; }

std::u16string UpperCase(std::u16string_view text) {
  const UpperCaseTable& table = UpperCaseUnits();
  std::u16string out(text);
  for (char16_t& unit : out) unit = table.upper[unit];
  return out;
}

bool AppendUpperCaseHostNameUtf16(std::string_view hostName, std::u16string* out) {
  const size_t start = out->size();
  const bool valid = AppendHostNameUtf16(hostName, out);
  const UpperCaseTable& table = UpperCaseUnits();
  for (size_t i = start; i < out->size(); ++i) (*out)[i] = table.upper[(*out)[i]];
  return valid;
}

}  // namespace platform
