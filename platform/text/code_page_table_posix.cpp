#include "platform/text/code_page_table_posix.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

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
  // iconv_open's own failure value, (iconv_t)-1.
  static iconv_t Failed() {
    return reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));  // NOLINT(performance-no-int-to-ptr)
  }
  iconv_t m_cd;
};

char16_t Utf16LeUnit(const char* bytes) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8));
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

// Where Wine keeps its code page tables (c_<code page>.nls), by the ways it
// is packaged.
constexpr const char* kWineTableFolders[] = {
    "/usr/share/wine/nls",
    "/usr/local/share/wine/nls",
    "/opt/wine-stable/share/wine/nls",
    "/opt/wine-devel/share/wine/nls",
    "/opt/wine-staging/share/wine/nls",
};

std::optional<std::string> ReadWineTable(unsigned codePage) {
  char name[32];
  std::snprintf(name, sizeof name, "/c_%u.nls", codePage);
  for (const char* folder : kWineTableFolders) {
    std::ifstream in(std::string(folder) + name, std::ios::binary | std::ios::ate);
    if (!in) continue;
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    if (in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return bytes;
  }
  return std::nullopt;
}

// Wine converts to ANSI with its own tables, which hold a best fit for many
// characters the code page lacks ("e" for é in 932, "\" for the full-width
// backslash in 1252). They replace what iconv gave where Wine is installed.
// The file is a header, the byte-to-unit tables and then the unit-to-byte
// table, all of little-endian 16-bit words; see Wine's ntdll/locale.c.
void TakeWineEncoding(unsigned codePage, CodePageTable* table) {
  const std::optional<std::string> file = ReadWineTable(codePage);
  if (!file) return;
  const auto word = [&](std::size_t index) -> std::optional<unsigned> {
    if (2 * index + 1 >= file->size()) return std::nullopt;
    return static_cast<unsigned char>((*file)[2 * index]) | static_cast<unsigned char>((*file)[2 * index + 1]) << 8;
  };
  const std::optional<unsigned> headerWords = word(0), fileCodePage = word(1), charSize = word(2),
                                defaultChar = word(3);
  if (!headerWords || fileCodePage != codePage || !charSize || (*charSize != 1 && *charSize != 2) || !defaultChar)
    return;
  const std::optional<unsigned> toUnicodeWords = word(*headerWords);
  if (!toUnicodeWords) return;
  const std::size_t encodeStart = *headerWords + *toUnicodeWords + 1;  // in words
  const std::size_t needed = *charSize == 2 ? 2 * (encodeStart + 0x10000) : 2 * encodeStart + 0x10000;
  if (file->size() < needed) return;
  for (unsigned unit = 1; unit < 0x10000; ++unit) {
    unsigned code;
    if (*charSize == 2) {
      code = *word(encodeStart + unit);
    } else {
      code = static_cast<unsigned char>((*file)[2 * encodeStart + unit]);
    }
    // The default character stands for "none", except for itself.
    if (code == *defaultChar && table->single[code & 0xFF] != unit) code = 0;
    const bool usable = code < 0x100 ? !table->lead[code] : table->lead[code >> 8];
    table->encode[unit] = usable ? static_cast<std::uint16_t>(code) : 0;
  }
}

struct LeadByteRange {
  unsigned codePage;
  unsigned char first, last;
};

constexpr LeadByteRange kLeadByteRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE}, {950, 0x81, 0xFE},
};

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
  // iconv misses lead bytes that start no character it knows (0xFE in 949,
  // a third of them in 950); Windows' ranges are fixed.
  for (const LeadByteRange& range : kLeadByteRanges) {
    if (range.codePage != codePage) continue;
    for (unsigned b = range.first; b <= range.last; ++b) table->lead[b] = doubleByte = true;
  }
  if (doubleByte) {
    table->pairs.assign(0x10000, kNoChar);
    for (unsigned b = 0; b < 256; ++b) {
      if (!table->lead[b]) continue;
      for (unsigned t = 0; t < 256; ++t) {
        const char in[2] = {static_cast<char>(b), static_cast<char>(t)};
        size_t outSize = sizeof out;
        if (decoder.Convert(in, 2, out, &outSize) == 0 && outSize == 2) table->pairs[b << 8 | t] = Utf16LeUnit(out);
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
  TakeWineEncoding(codePage, table.get());
  table->asciiSame = MapsAsciiUnchanged(*table);
  return table;
}

}  // namespace

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

}  // namespace platform
