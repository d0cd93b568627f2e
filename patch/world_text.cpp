#include "patch/world_text.h"

#include <array>
#include <utility>
#include <vector>

#include "patch/gzip_codec.h"
#include "product/product_text.h"

namespace {

constexpr std::string_view kCollisionSound = "collisionSound";
constexpr std::string_view kPrototypeMark = "PROTO Sony_WorldInfo";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFrameLine = "#-----------------------------------------------------------";

constexpr std::string_view kVrmlMark = "#VRML";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// One line of the text: its content without the line end, and where the
// line after it starts (text.size() for the last one).
struct Line {
  std::string_view content;
  std::size_t next;
};

// The byte that ends a line: LF, or CR in text that holds no LF at all (a
// world saved with CR line ends would otherwise be one line, and every TRUE
// in it would flip).
char LineEndOf(std::string_view text) { return text.find('\n') == std::string_view::npos ? '\r' : '\n'; }

Line LineAt(std::string_view text, std::size_t start, char lineEnd) {
  std::size_t lf = text.find(lineEnd, start);
  if (lf == std::string_view::npos) return {text.substr(start), text.size()};
  std::size_t end = lf;
  if (end > start && text[end - 1] == '\r') --end;
  return {text.substr(start, end - start), lf + 1};
}

// `line` with every "TRUE" replaced by "FALSE" (mode 0) or every "FALSE" by
// "TRUE" (any other mode), scanning left to right.
std::string ReplaceCollisionValue(std::string_view line, int mode) {
  const std::string_view from = mode == 0 ? "TRUE" : "FALSE";
  const std::string_view to = mode == 0 ? "FALSE" : "TRUE";
  std::string out;
  out.reserve(line.size() + 8);
  std::size_t pos = 0;
  for (std::size_t hit; (hit = line.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    out.append(line.substr(pos, hit - pos));
    out.append(to);
  }
  out.append(line.substr(pos));
  return out;
}

// A line whose content changes, by where it starts in the text.
struct Replacement {
  std::size_t start;
  std::string content;
};

// The collisionSound lines that the mode changes, in file order. Neither
// searched word holds a CR or LF, so every hit lies inside one line's
// content and the whole text can be searched at once.
std::vector<Replacement> FindReplacements(std::string_view text, int mode, char lineEnd) {
  std::vector<Replacement> replacements;
  std::size_t from = 0;
  for (std::size_t hit; (hit = text.find(kCollisionSound, from)) != std::string_view::npos;) {
    std::size_t lf = text.rfind(lineEnd, hit);
    std::size_t start = lf == std::string_view::npos ? 0 : lf + 1;
    Line line = LineAt(text, start, lineEnd);
    std::string replaced = ReplaceCollisionValue(line.content, mode);
    if (replaced != line.content) replacements.push_back({start, std::move(replaced)});
    from = line.next;
  }
  return replacements;
}

std::size_t BlockSize(const std::array<std::string, 8>& block) {
  std::size_t size = 0;
  for (const std::string& line : block) size += line.size() + kLineEnd.size();
  return size;
}

// find() goes through memchr, several times faster here than std::count.
std::size_t CountLineEnds(std::string_view text, char lineEnd) {
  std::size_t count = 0;
  for (std::size_t at = text.find(lineEnd); at != std::string_view::npos; at = text.find(lineEnd, at + 1)) ++count;
  return count;
}

// Room for the whole output: at most one byte added per line end, a line end
// after an unterminated last line, the block and the longer replacements.
std::size_t OutputBound(std::string_view text, char lineEnd, const std::vector<Replacement>& replacements,
                        std::size_t blockSize) {
  std::size_t bound = text.size() + CountLineEnds(text, lineEnd) + kLineEnd.size() + blockSize;
  for (const Replacement& replacement : replacements) bound += replacement.content.size();
  return bound;
}

}  // namespace

std::array<std::string, 8> HeaderBlock(int mode) {
  return {
      std::string(kFrameLine),
      "# Modified by SAPARiQuietwalk",
      "# Ver 1.0",
      "# " + std::string(kHomePage),
      "PROTO Sony_WorldInfo [",
      mode == 1 ? "  field        SFBool   collisionSound       TRUE"
                : "  field        SFBool   collisionSound       FALSE",
      "] {}",
      std::string(kFrameLine),
  };
}

std::optional<std::string> PatchWorldText(std::string_view text, int mode) {
  if (text.empty()) return std::nullopt;
  const bool found = text.find(kPrototypeMark) != std::string_view::npos;
  const char lineEnd = LineEndOf(text);
  std::vector<Replacement> replacements = FindReplacements(text, mode, lineEnd);
  if (found && replacements.empty()) return std::nullopt;

  std::array<std::string, 8> block;
  if (!found) block = HeaderBlock(mode);
  std::string out;
  out.reserve(OutputBound(text, lineEnd, replacements, found ? 0 : BlockSize(block)));
  auto nextReplacement = replacements.begin();
  for (std::size_t start = 0; start < text.size();) {
    Line line = LineAt(text, start, lineEnd);
    if (nextReplacement != replacements.end() && nextReplacement->start == start) {
      out.append(nextReplacement->content);
      ++nextReplacement;
    } else {
      out.append(line.content);
    }
    out.append(kLineEnd);
    if (start == 0 && !found) {
      for (const std::string& blockLine : block) {
        out.append(blockLine);
        out.append(kLineEnd);
      }
    }
    start = line.next;
  }
  return out;
}

bool IsWorldText(std::string_view text) {
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  return text.starts_with(kVrmlMark);
}

WorldRewrite RewriteWorldBytes(std::string_view bytes, int mode) {
  if (!IsGzipped(bytes)) {
    if (!IsWorldText(bytes)) return {};
    std::optional<std::string> text = PatchWorldText(bytes, mode);
    if (!text) return {};
    return {WorldRewrite::Outcome::kChanged, std::move(*text)};
  }
  std::optional<std::string> inflated = Gunzip(bytes);
  if (!inflated) return {WorldRewrite::Outcome::kUndecodable, {}};
  if (!IsWorldText(*inflated)) return {};
  std::optional<std::string> text = PatchWorldText(*inflated, mode);
  if (!text) return {};
  // The inflated copy is no longer needed; dropping it before deflating keeps
  // at most two copies of the text alive at once.
  inflated.reset();
  return {WorldRewrite::Outcome::kChanged, Gzip(*text)};
}
