#pragma once

// The tables the Linux half converts ANSI text with, one per code page,
// built once and shared by all threads. Linux only, and only for platform/.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// U+FFFF is a noncharacter no code page maps to: it marks "no character".
inline constexpr char16_t kNoChar = 0xFFFF;

struct CodePageTable {
  std::array<char16_t, 256> single{};  // a byte on its own; kNoChar when invalid alone
  std::array<bool, 256> lead{};        // a byte that starts a two-byte character
  std::vector<char16_t> pairs;         // [lead << 8 | trail]; empty for single-byte code pages
  // Per UTF-16 unit: 0 when the code page cannot hold it (U+0000 aside), a
  // byte below 0x100, else lead << 8 | trail. Holds Windows' best-fit
  // choices too (é as "e" in 932) where Wine's tables are installed.
  std::vector<std::uint16_t> encode;
  // Whether the bytes 00-7F and the units U+0000-U+007F map to each other
  // unchanged, so that ASCII text needs no conversion either way.
  bool asciiSame = false;
};

// The table of a code page other than UTF-8 (65001).
const CodePageTable& TableFor(unsigned codePage);

// *valid is set false when a byte sequence is not valid in the code page;
// it then decodes to U+FFFD.
std::u16string DecodeWithTable(const CodePageTable& table, std::string_view ansi, bool* valid);

// A unit the code page cannot hold, even by a best fit, becomes '?'.
std::string EncodeWithTable(const CodePageTable& table, std::u16string_view utf16);

}  // namespace platform
