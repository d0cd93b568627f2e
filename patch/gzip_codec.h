#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Gzip-compressed world files (VRML 97 allows them), met through zlib.

// Output beyond this aborts inflation, so a small hostile file cannot make
// the patcher exhaust memory.
inline constexpr std::size_t kMaxInflatedBytes = std::size_t{256} << 20;

// True when `bytes` start with the gzip magic 1F 8B.
bool IsGzipped(std::string_view bytes);

// The content of a gzip file: its members inflated and joined in order, as
// gunzip reads them. nullopt when the bytes are not wholly valid gzip: a
// truncated member, a bad CRC or length, a method other than deflate, bytes
// after the last member that do not start another valid member (they would be
// lost on rewrite), or more than `limit` bytes of output.
std::optional<std::string> Gunzip(std::string_view bytes, std::size_t limit = kMaxInflatedBytes);

// `text` as one gzip member (deflate, default level, no name, time stamp 0).
// Throws std::bad_alloc when zlib cannot get memory.
std::string Gzip(std::string_view text);
