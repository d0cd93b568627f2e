// The in-memory rewrite against the rules applied literally (a list of
// lines, tested and replaced one by one), plus the gzip path. The first byte
// picks the mode (0, 1 or 2), the rest is the file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "patch/world_text.h"

namespace {

std::string ReplaceAll(const std::string& line, std::string_view from, std::string_view to) {
  std::string out;
  for (std::size_t i = 0; i < line.size();) {
    if (line.compare(i, from.size(), from) == 0) {
      out += to;
      i += from.size();
    } else {
      out += line[i++];
    }
  }
  return out;
}

std::optional<std::string> ReferencePatch(std::string_view text, int mode) {
  std::vector<std::string> lines;
  std::string line;
  const char lineEnd = text.find('\n') == std::string_view::npos ? '\r' : '\n';
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == lineEnd) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  bool found = false, changed = false;
  for (std::string& each : lines) {
    if (each.find("PROTO Sony_WorldInfo") != std::string::npos) found = true;
    if (each.find("collisionSound") != std::string::npos) {
      std::string copy = mode == 0 ? ReplaceAll(each, "TRUE", "FALSE") : ReplaceAll(each, "FALSE", "TRUE");
      if (copy != each) {
        each = copy;
        changed = true;
      }
    }
  }
  if (lines.empty()) return std::nullopt;
  if (!found) {
    auto block = HeaderBlock(mode);
    lines.insert(lines.begin() + 1, block.begin(), block.end());
    changed = true;
  }
  if (!changed) return std::nullopt;
  std::string out;
  for (const std::string& each : lines) out += each + "\r\n";
  return out;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::optional<std::string> patched = PatchWorldText(text, mode);
  Check(patched == ReferencePatch(text, mode));
  // Modes 0 and 1 reach a fixed point in one pass (mode 2's block declares
  // FALSE, which its own rule would then turn into TRUE).
  if (patched && mode != 2) Check(!PatchWorldText(*patched, mode));

  WorldRewrite rewrite = RewriteWorldBytes(text, mode);
  if (!IsGzipped(text)) {
    const bool rewritten = patched && IsWorldText(text);
    Check(rewrite.outcome == (rewritten ? WorldRewrite::Outcome::kChanged : WorldRewrite::Outcome::kUnchanged));
    return 0;
  }
  std::optional<std::string> inflated = Gunzip(text);
  Check(inflated.has_value() == (rewrite.outcome != WorldRewrite::Outcome::kUndecodable));
  if (rewrite.outcome == WorldRewrite::Outcome::kChanged)
    Check(Gunzip(rewrite.bytes) == PatchWorldText(*inflated, mode));
  return 0;
}
