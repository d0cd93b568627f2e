#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The patcher's rewrite rules, applied in memory. No I/O happens here.
//
// Text is read the way the browser's platform reads text files: a line ends
// at a line feed, a CR directly before that LF belongs to the line end, and a
// last line without a line end is still a line. In text holding no LF at all
// a CR ends a line instead. Every other byte (a lone CR, NUL, 0x1A) is
// ordinary line content and passes through unchanged.

// The prototype declaration inserted after line 1 of a file that lacks one.
// Line 6 carries the collision sound's default for `mode`.
std::array<std::string, 8> HeaderBlock(int mode);

// The whole new text of a world file in `mode`, every line ending in CR LF,
// or nullopt when the text needs no change (including text with no lines at
// all, which has no first line for the block to follow).
std::optional<std::string> PatchWorldText(std::string_view text, int mode);

// Whether `text` is a VRML world: it begins with "#VRML", after an optional
// UTF-8 byte order mark.
bool IsWorldText(std::string_view text);

// What rewriting a whole world file's bytes gives: plain text, or gzip
// (bytes starting 1F 8B) that is inflated, patched by the same rules and
// deflated again.
struct WorldRewrite {
  enum class Outcome {
    kUnchanged,    // nothing to change, or no world at all; `bytes` is empty
    kChanged,      // `bytes` is the file's new content
    kUndecodable,  // gzip magic, but not a gzip stream this program can read
  };
  Outcome outcome = Outcome::kUnchanged;
  std::string bytes;
};

// Applies PatchWorldText to a world file's bytes, through gzip when they are
// compressed (see gzip_codec.h for what is accepted). Bytes that hold no
// world text (IsWorldText), plainly or compressed, are left unchanged: a PNG
// or a UTF-16 file under a world's name is not the patcher's to touch.
WorldRewrite RewriteWorldBytes(std::string_view bytes, int mode);
