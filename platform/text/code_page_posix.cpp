#include "platform/text/code_page.h"

#include <locale.h>
#include <stdlib.h>
#include <unistd.h>
#include <wctype.h>

#include <array>
#include <cstring>
#include <optional>

#include "platform/text/code_page_posix.h"
#include "platform/text/code_page_table_posix.h"
#include "platform/text/utf_codec.h"

namespace platform {

namespace {

constexpr unsigned kDefaultCodePage = 1252;
constexpr unsigned kUtf8CodePage = 65001;
constexpr char16_t kReplacement = 0xFFFD;

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
    {"cs", 1250},  {"hu", 1250},  {"pl", 1250},  {"ro", 1250},   {"sk", 1250},   {"sl", 1250},  {"hr", 1250},
    {"bs", 1250},  {"sq", 1250},  {"tk", 1250},  {"ru", 1251},   {"uk", 1251},   {"be", 1251},  {"bg", 1251},
    {"mk", 1251},  {"kk", 1251},  {"ky", 1251},  {"tt", 1251},   {"mn", 1251},   {"ba", 1251},  {"sah", 1251},
    {"tg", 1251},  {"sr", 1251},  {"el", 1253},  {"tr", 1254},   {"az", 1254},   {"uz", 1254},  {"he", 1255},
    {"ar", 1256},  {"fa", 1256},  {"ur", 1256},  {"ug", 1256},   {"lt", 1257},   {"lv", 1257},  {"et", 1257},
    {"vi", 1258},  {"th", 874},   {"ja", 932},   {"ko", 949},    {"hi", 65001},  {"bn", 65001}, {"ta", 65001},
    {"te", 65001}, {"mr", 65001}, {"gu", 65001}, {"kn", 65001},  {"ml", 65001},  {"pa", 65001}, {"or", 65001},
    {"as", 65001}, {"hy", 65001}, {"ka", 65001}, {"am", 65001},  {"ne", 65001},  {"si", 65001}, {"km", 65001},
    {"lo", 65001}, {"bo", 65001}, {"dv", 65001}, {"syr", 65001}, {"kok", 65001}, {"sa", 65001},
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
  const bool loads = lcAll != nullptr
                         ? LocaleLoads(lcAll)
                         : (lcCtype == nullptr || LocaleLoads(lcCtype)) && (lang == nullptr || LocaleLoads(lang));
  const char* ctype = lcAll != nullptr ? lcAll : lcCtype != nullptr ? lcCtype : lang;
  // Wine, left with the C locale, reads LC_ALL itself, installed or not.
  const char* name = (loads && ctype != nullptr && std::strcmp(ctype, "C") != 0) ? ctype : lcAll;
  return name == nullptr ? kDefaultCodePage : CodePageOfLocaleName(name);
}

bool IsAnsiLeadByte(unsigned codePage, unsigned char byte) {
  return codePage != kUtf8CodePage && TableFor(codePage).lead[byte];
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
  if (cache.valid && SameValue(cache.lcAll, lcAll) && SameValue(cache.lcCtype, lcCtype) && SameValue(cache.lang, lang))
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
  if (m_table == nullptr) {
    std::string out;
    AppendUtf16AsUtf8(utf16, U'?', &out);
    return out;
  }
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

bool AppendHostNameUtf16(std::string_view hostName, std::u16string* out) { return AppendUtf8AsUtf16(hostName, out); }

std::u16string HostNameToUtf16(std::string_view hostName, bool* valid) {
  std::u16string out;
  const bool allValid = AppendHostNameUtf16(hostName, &out);
  if (valid != nullptr) *valid = allValid;
  return out;
}

bool AppendHostName(std::u16string_view text, std::string* out) { return AppendUtf16AsUtf8(text, std::nullopt, out); }

std::optional<std::string> Utf16ToHostName(std::u16string_view text) {
  std::string out;
  if (!AppendHostName(text, &out)) return std::nullopt;
  return out;
}

std::string AnsiToHostName(std::string_view ansi) {
  std::string out;
  AppendUtf16AsUtf8(AnsiToUtf16(ansi), kReplacement, &out);
  return out;
}

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
