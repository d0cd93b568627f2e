#include "platform/registry/user_reg.h"

#include <optional>

#include "platform/text/code_page.h"
#include "platform/text/utf_codec.h"

namespace platform {
namespace {

// The wineserver refuses key names longer than this (in UTF-16 units).
constexpr std::size_t kMaxKeyNameLength = 256;
// Windows allows no deeper tree. Wine sets no limit, but without one a
// garbled line of a million separators would make a million nested keys
// (and tear them down by deep recursion).
constexpr int kMaxKeyDepth = 512;

constexpr std::u16string_view kSeparator = u"\\";

// Names compare as their upper-cased UTF-16 units.
std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = UpperCaseUnit(unit);
  return folded;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

// A line of the file. Reading stops at a NUL byte, as the C string the
// server reads a line into does.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : m_text(text) {}

  bool Next(std::string_view* line) {
    if (m_pos >= m_text.size()) return false;
    std::size_t end = m_text.find('\n', m_pos);
    std::string_view raw;
    if (end == std::string_view::npos) {
      raw = m_text.substr(m_pos);
      m_pos = m_text.size();
    } else {
      raw = m_text.substr(m_pos, end - m_pos);
      m_pos = end + 1;
      if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    }
    *line = raw.substr(0, raw.find('\0'));
    return true;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

struct Number {
  std::uint64_t value = 0;
  std::size_t end = 0;  // where the number stopped; its start when there was none
};

// strtoul(text + start, &end, 16) as the server uses it: leading blanks, a
// sign, an optional "0x", digits; saturates on overflow; a minus negates.
Number ParseHexNumber(std::string_view text, std::size_t start) {
  std::size_t i = start;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && IsHexDigit(text[i + 2]))
    i += 2;
  if (i >= text.size() || !IsHexDigit(text[i])) return {0, start};
  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && IsHexDigit(text[i]); ++i) {
    if (value > (UINT64_MAX >> 4)) overflow = true;
    value = (value << 4) | HexDigitValue(text[i]);
  }
  if (overflow) return {UINT64_MAX, i};
  return {negative ? 0 - value : value, i};
}

// Decodes the UTF-8 sequence at text[*pos] as the server does: a bad
// sequence is dropped, with any continuation bytes that were already
// accepted, and a surrogate half is kept.
void DecodeUtf8(std::string_view text, std::size_t* pos, std::u16string* out) {
  const Utf8Sequence sequence = ReadUtf8(text, *pos);
  *pos += sequence.length;
  if (sequence.valid || sequence.surrogate) AppendUtf16(sequence.codePoint, out);
}

// Reads escaped text from `start` up to the unescaped `endChar`. Returns the
// position just after `endChar`, or nullopt when the line ends first.
std::optional<std::size_t> ParseEscaped(std::string_view text, std::size_t start, char endChar, std::u16string* out) {
  out->clear();
  std::size_t i = start;
  while (i < text.size() && text[i] != endChar) {
    if (text[i] == '\\') {
      if (++i >= text.size()) return std::nullopt;
      char c = text[i];
      char16_t letter = 0;
      switch (c) {
        case 'a': letter = u'\a'; break;
        case 'b': letter = u'\b'; break;
        case 'e': letter = 0x1B; break;
        case 'f': letter = u'\f'; break;
        case 'n': letter = u'\n'; break;
        case 'r': letter = u'\r'; break;
        case 't': letter = u'\t'; break;
        case 'v': letter = u'\v'; break;
        default: break;
      }
      if (letter) {
        out->push_back(letter);
        ++i;
        continue;
      }
      if (c == 'x') {
        ++i;
        char16_t unit = 0;
        int digits = 0;
        for (; digits < 4 && i < text.size() && IsHexDigit(text[i]); ++digits, ++i)
          unit = static_cast<char16_t>(unit * 16 + HexDigitValue(text[i]));
        out->push_back(digits ? unit : u'x');
        continue;
      }
      if (c >= '0' && c <= '7') {
        char16_t unit = 0;
        for (int digits = 0; digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++digits, ++i)
          unit = static_cast<char16_t>(unit * 8 + (text[i] - '0'));
        out->push_back(unit);
        continue;
      }
      // Any other escaped character stands for itself.
    }
    if (static_cast<unsigned char>(text[i]) < 0x80)
      out->push_back(static_cast<unsigned char>(text[i++]));
    else
      DecodeUtf8(text, &i, out);
  }
  if (i >= text.size()) return std::nullopt;
  return i + 1;
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

struct DataType {
  std::uint32_t type = 0;
  enum class Form { kString, kDword, kHex } form = Form::kHex;
  std::size_t length = 0;  // of the tag
};

// The tag that opens a value's data: '"', "str:\"", "str(2):\"", "str(7):\"",
// "hex:", "dword:" or "hex(N):".
std::optional<DataType> ParseDataType(std::string_view text) {
  struct Tag {
    std::string_view text;
    std::uint32_t type;
    DataType::Form form;
  };
  static constexpr Tag kTags[] = {
      {"\"", 1, DataType::Form::kString},        {"str:\"", 1, DataType::Form::kString},
      {"str(2):\"", 2, DataType::Form::kString}, {"str(7):\"", 7, DataType::Form::kString},
      {"hex:", 3, DataType::Form::kHex},         {"dword:", 4, DataType::Form::kDword},
  };
  for (const Tag& tag : kTags)
    if (text.starts_with(tag.text)) return DataType{tag.type, tag.form, tag.text.size()};
  if (!text.starts_with("hex(")) return std::nullopt;
  Number number = ParseHexNumber(text, 4);
  if (text.substr(number.end, 2) != "):") return std::nullopt;
  return DataType{static_cast<std::uint32_t>(number.value), DataType::Form::kHex, number.end + 2};
}

class Parser {
 public:
  explicit Parser(std::string_view text) : m_lines(text) {}

  void Run(UserRegHive* hive) {
    std::string_view line;
    if (!m_lines.Next(&line) || line != "WINE REGISTRY Version 2") return;
    while (m_lines.Next(&line)) {
      std::size_t start = 0;
      while (start < line.size() && IsBlank(line[start])) ++start;
      line.remove_prefix(start);
      if (line.empty()) continue;
      switch (line.front()) {
        case '[': m_key = LoadKey(hive, line.substr(1)); break;
        case '@':
        case '"':
          if (m_key) LoadValue(m_key, line);
          break;
        case '#':
          // Options inside a section (#time, #class, #link) mean nothing
          // here; outside one they are global, and a bad one ends the load.
          if (!m_key && !GlobalOptionAccepted(line)) return;
          break;
        default:  // ';' comments and anything unrecognised
          break;
      }
    }
  }

 private:
  static bool GlobalOptionAccepted(std::string_view line) {
    if (!line.starts_with("#arch=")) return true;
    std::string_view arch = line.substr(6);
    return arch == "win32" || arch == "win64";
  }

  // The key named by a "[path] time" line, created with its parents; null
  // when the line is malformed. Keys made before a bad component are kept.
  UserRegKey* LoadKey(UserRegHive* hive, std::string_view text) {
    if (!ParseEscaped(text, 0, ']', &m_scratch)) return nullptr;
    UserRegKey* key = &hive->root();
    // The server takes a name starting with a zero unit for the root, too.
    if (m_scratch.empty() || m_scratch.front() == 0) return key;
    std::u16string_view rest = m_scratch;
    int depth = 0;
    while (!rest.empty()) {
      std::u16string_view component = rest.substr(0, rest.find(kSeparator));
      rest.remove_prefix(component.size() < rest.size() ? component.size() + 1 : rest.size());
      if (component.empty()) continue;  // a doubled separator names the same key
      if (component.size() > kMaxKeyNameLength || ++depth > kMaxKeyDepth) return nullptr;
      key = &key->SubKey(component);
    }
    return key;
  }

  // A '"name"=data' or '@=data' line. A line whose name cannot be read is
  // ignored; a value whose data cannot be read is left with type 0 and no
  // data, as the server leaves it.
  void LoadValue(UserRegKey* key, std::string_view line) {
    std::size_t pos = 1;
    std::u16string name;
    if (line.front() == '"') {
      std::optional<std::size_t> end = ParseEscaped(line, 1, '"', &name);
      if (!end) return;
      pos = *end;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return;
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;

    UserRegValue& value = key->Value(name);
    if (!LoadData(line.substr(pos), &value)) {
      value.type = 0;
      value.data.clear();
    }
  }

  bool LoadData(std::string_view text, UserRegValue* value) {
    std::optional<DataType> dataType = ParseDataType(text);
    if (!dataType) return false;
    text.remove_prefix(dataType->length);
    switch (dataType->form) {
      case DataType::Form::kString: {
        if (!ParseEscaped(text, 0, '"', &m_scratch)) return false;
        m_scratch.push_back(0);
        value->data = Utf16LeBytes(m_scratch);
        break;
      }
      case DataType::Form::kDword: {
        auto dword = static_cast<std::uint32_t>(ParseHexNumber(text, 0).value);
        value->data = {static_cast<std::uint8_t>(dword), static_cast<std::uint8_t>(dword >> 8),
                       static_cast<std::uint8_t>(dword >> 16), static_cast<std::uint8_t>(dword >> 24)};
        break;
      }
      case DataType::Form::kHex: {
        std::vector<std::uint8_t> bytes;
        if (!LoadHexList(text, &bytes)) return false;
        value->data = std::move(bytes);
        break;
      }
    }
    value->type = dataType->type;
    return true;
  }

  // Comma-separated hex bytes; a line ending in '\' continues on the next.
  bool LoadHexList(std::string_view text, std::vector<std::uint8_t>* bytes) {
    for (;;) {
      std::size_t i = 0;
      while (i < text.size() && IsHexDigit(text[i])) {
        Number number = ParseHexNumber(text, i);
        if (number.value > 0xFF) return false;
        bytes->push_back(static_cast<std::uint8_t>(number.value));
        i = number.end;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i < text.size() && text[i] == ',') ++i;
        while (i < text.size() && IsBlank(text[i])) ++i;
      }
      while (i < text.size() && IsBlank(text[i])) ++i;
      if (i >= text.size()) return true;
      if (text[i] != '\\' || !m_lines.Next(&text)) return false;
      std::size_t start = 0;
      while (start < text.size() && IsBlank(text[start])) ++start;
      text.remove_prefix(start);
    }
  }

  LineReader m_lines;
  UserRegKey* m_key = nullptr;
  std::u16string m_scratch;
};

}  // namespace

const UserRegKey* UserRegKey::FindSubKey(std::u16string_view name) const {
  auto found = m_subKeys.find(FoldName(name));
  return found == m_subKeys.end() ? nullptr : found->second.get();
}

const UserRegValue* UserRegKey::FindValue(std::u16string_view name) const {
  auto found = m_values.find(FoldName(name));
  return found == m_values.end() ? nullptr : &found->second;
}

UserRegKey& UserRegKey::SubKey(std::u16string_view name) {
  std::unique_ptr<UserRegKey>& slot = m_subKeys[FoldName(name)];
  if (!slot) slot = std::make_unique<UserRegKey>(std::u16string(name));
  return *slot;
}

UserRegValue& UserRegKey::Value(std::u16string_view name) {
  auto [slot, inserted] = m_values.try_emplace(FoldName(name));
  if (inserted) slot->second.name = name;
  return slot->second;
}

const UserRegKey* UserRegHive::FindKey(std::u16string_view path) const {
  if (!path.empty() && path.front() == u'\\') return nullptr;
  const UserRegKey* key = &m_root;
  while (key && !path.empty()) {
    std::u16string_view component = path.substr(0, path.find(kSeparator));
    path.remove_prefix(component.size());
    while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    key = key->FindSubKey(component);
  }
  return key;
}

std::unique_ptr<UserRegHive> ParseUserReg(std::string_view text) {
  auto hive = std::make_unique<UserRegHive>();
  Parser(text).Run(hive.get());
  return hive;
}

}  // namespace platform
