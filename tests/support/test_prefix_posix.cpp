#include "tests/support/test_prefix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/paths/wine_prefix.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = c;
    size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07u;
      n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0Fu;
      n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1Fu;
      n = 2;
    }
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

bool IsHexDigit(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Escapes text the way Wine writes user.reg: `inKeyName` selects the rules
// for "[...]" (brackets escaped, quotes not) over those for "..." strings.
std::string EscapeRegText(std::u16string_view text, bool inKeyName) {
  std::string out;
  char buffer[16];
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '\a': out += "\\a"; continue;
      case '\b': out += "\\b"; continue;
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\v': out += "\\v"; continue;
      case '\f': out += "\\f"; continue;
      case '\r': out += "\\r"; continue;
      case 0x1B: out += "\\e"; continue;
      default: break;
    }
    if (inKeyName && (c == '[' || c == ']')) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (!inKeyName && c == '"') {
      out += "\\\"";
    } else if (c < 0x20) {
      std::snprintf(buffer, sizeof buffer, (next >= '0' && next <= '7') ? "\\%03o" : "\\%o", c);
      out += buffer;
    } else if (c >= 0x80) {
      std::snprintf(buffer, sizeof buffer, IsHexDigit(next) ? "\\x%04x" : "\\x%x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Hex bytes wrapped as Wine wraps them: after the comma that takes the line
// past 76 columns, a "\" and a new line indented by two blanks.
std::string HexList(const std::vector<std::uint8_t>& data, size_t column) {
  std::string out;
  char buffer[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", data[i]);
    out += buffer;
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      if (++column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

// A string value's text when it is stored as whole UTF-16 units ending in
// one zero unit, the only form Wine writes as a quoted string.
bool QuotedStringText(const std::vector<std::uint8_t>& data, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  text->clear();
  for (size_t i = 0; i + 1 < data.size(); i += 2) text->push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  if (text->back() != 0) return false;
  text->pop_back();
  return true;
}

std::string ValueLine(std::string_view name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
  // Appended piece by piece: GCC 12 at -O3 mistakes "literal" + std::string&&
  // for an overlapping copy (-Wrestrict).
  std::string line = "@=";
  if (!name.empty()) line.assign("\"").append(EscapeRegText(Utf8ToUtf16(name), false)).append("\"=");
  std::u16string text;
  if ((type == 1 || type == 2 || type == 7) && QuotedStringText(data, &text)) {
    if (type == 2) line += "str(2):";
    if (type == 7) line += "str(7):";
    return line + "\"" + EscapeRegText(text, false) + "\"";
  }
  if (type == 4 && data.size() == 4) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "dword:%08x",
                  data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<unsigned>(data[3]) << 24));
    return line + buffer;
  }
  char prefix[16];
  if (type == 3)
    std::snprintf(prefix, sizeof prefix, "hex:");
  else
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
  line += prefix;
  return line + HexList(data, line.size());
}

// Registry names compare ignoring case; ASCII folding is enough for tests.
bool SameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

std::string KeySection(std::string_view key) {
  return "\n[" + EscapeRegText(Utf8ToUtf16(key), true) + "] 1796706751\n#time=1dd86d2b9e8a3ea\n";
}

std::string HostRelative(std::string_view windowsPath) {
  std::string path(windowsPath);
  if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
  for (char& c : path)
    if (c == '\\') c = '/';
  while (!path.empty() && path.front() == '/') path.erase(0, 1);
  return path;
}

}  // namespace

TestPrefix::TestPrefix() {
  std::string pattern = (fs::temp_directory_path() / "quietwalk-prefix-XXXXXX").string();
  // A constructor cannot use ASSERT_*; gtest reports the exception as a failure.
  if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  m_root = pattern;
  fs::create_directories(m_root + "/drive_c");
  fs::create_directories(m_root + "/dosdevices");
  fs::create_directory_symlink("../drive_c", m_root + "/dosdevices/c:");
  fs::create_directory_symlink("/", m_root + "/dosdevices/z:");
  m_savedWinePrefix = platform::WinePrefixInUse();
  platform::UseWinePrefix({m_root, m_root, platform::WinePrefixOrigin::kNamed});
  SaveRegistry();
}

TestPrefix::~TestPrefix() {
  platform::UseWinePrefix(m_savedWinePrefix);
  std::error_code ignored;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(m_root, ignored);
}

std::string TestPrefix::HostPath(std::string_view windowsPath) const {
  std::string relative = HostRelative(windowsPath);
  return relative.empty() ? m_root + "/drive_c" : m_root + "/drive_c/" + relative;
}

void TestPrefix::WriteFile(std::string_view windowsPath, std::string_view bytes) const {
  fs::path host = HostPath(windowsPath);
  fs::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << host;
}

void TestPrefix::MakeFolder(std::string_view windowsPath) const { fs::create_directories(HostPath(windowsPath)); }

std::string TestPrefix::ReadFile(std::string_view windowsPath) const {
  std::ifstream in(HostPath(windowsPath), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void TestPrefix::SetRegistryValue(std::string_view key, std::string_view name, std::uint32_t type,
                                  const std::vector<std::uint8_t>& data) {
  // As in the registry: setting a value again (in any case) replaces its data.
  for (RegistryValue& value : m_registry) {
    if (SameAsciiName(value.key, key) && SameAsciiName(value.name, name)) {
      value.type = type;
      value.data = data;
      SaveRegistry();
      return;
    }
  }
  m_registry.push_back({std::string(key), std::string(name), type, data});
  SaveRegistry();
}

void TestPrefix::SetRegistryString(std::string_view key, std::string_view name, std::string_view text) {
  SetRegistryValue(key, name, 1, Utf16LeBytes(text));
}

void TestPrefix::MakeRegistryKey(std::string_view key) {
  m_emptyKeys.emplace_back(key);
  SaveRegistry();
}

void TestPrefix::SaveRegistry() const {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
  for (const std::string& key : m_emptyKeys) text += KeySection(key);
  // One section per key, holding all its values, as Wine writes it.
  std::vector<bool> written(m_registry.size(), false);
  for (size_t i = 0; i < m_registry.size(); ++i) {
    if (written[i]) continue;
    text += KeySection(m_registry[i].key);
    for (size_t k = i; k < m_registry.size(); ++k) {
      if (written[k] || !SameAsciiName(m_registry[k].key, m_registry[i].key)) continue;
      written[k] = true;
      text += ValueLine(m_registry[k].name, m_registry[k].type, m_registry[k].data) + "\n";
    }
  }
  WriteUserReg(text);
}

void TestPrefix::WriteUserReg(std::string_view bytes) const {
  // Written aside and renamed, as Wine saves it, so the file's identity changes.
  std::string temporary = m_root + "/user.reg.new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  fs::rename(temporary, m_root + "/user.reg");
}

std::vector<std::uint8_t> Utf16LeBytes(std::string_view utf8, bool terminate) {
  std::vector<std::uint8_t> out;
  for (char16_t unit : Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

std::string CorpusFolder() {
  std::string folder;
  if (const char* configured = getenv("QUIETWALK_CORPUS"))
    folder = configured;
  else
    folder = QUIETWALK_DEFAULT_CORPUS;
  std::error_code ignored;
  return fs::is_directory(folder, ignored) ? folder : std::string();
}

}  // namespace testing_support
