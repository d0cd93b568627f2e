// Every file of the third-party world corpus, patched on a copy in mode 0,
// then in mode 1, each result checked line by line against the original.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "patch/gzip_codec.h"
#include "patch/world_patcher.h"
#include "patch/world_text.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMark = "PROTO Sony_WorldInfo";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Lines as the patcher reads them: split at LF, one CR before it dropped.
std::vector<std::string> TextLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  }
  return lines;
}

std::size_t Count(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// Checks `after` (text, not gzip) against `before` for `mode`: every line
// ends in CR LF, lines equal the old ones except collisionSound lines, which
// hold no value the mode removes, and the block stands once, after line 1,
// when the old text did not declare the prototype.
void ExpectPatchedText(const std::string& before, const std::string& after, int mode) {
  ASSERT_TRUE(after.ends_with("\r\n"));
  std::vector<std::string> old = TextLines(before), lines = TextLines(after);
  ASSERT_EQ(std::count(after.begin(), after.end(), '\n'), static_cast<std::ptrdiff_t>(lines.size()));
  for (std::size_t at = after.find('\n'); at != std::string::npos; at = after.find('\n', at + 1))
    ASSERT_EQ(after[at - 1], '\r') << "line end at " << at;
  if (before.find(kMark) == std::string::npos) {
    ASSERT_GE(lines.size(), 9u);
    auto block = HeaderBlock(mode);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), lines.begin() + 1));
    lines.erase(lines.begin() + 1, lines.begin() + 9);
    EXPECT_EQ(Count(after, kMark), 1u);
  } else {
    EXPECT_EQ(Count(after, kMark), Count(before, kMark));
  }
  ASSERT_EQ(lines.size(), old.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (old[i].find("collisionSound") == std::string::npos)
      ASSERT_EQ(lines[i], old[i]) << "line " << i + 1;
    else
      EXPECT_EQ(lines[i].find(mode == 0 ? "TRUE" : "FALSE"), std::string::npos) << "line " << i + 1;
  }
}

// The text inside a world file's bytes; false for gzip that does not inflate.
bool WorldText(const std::string& bytes, std::string* text) {
  if (!IsGzipped(bytes)) {
    *text = bytes;
    return true;
  }
  std::optional<std::string> inflated = Gunzip(bytes);
  if (inflated) *text = std::move(*inflated);
  return inflated.has_value();
}

// One pass over a file in `mode` and a second that must change nothing.
void ExpectPatched(const testing_support::TestPrefix& prefix, const std::string& path, int mode) {
  const std::string before = prefix.ReadFile(path);
  std::string beforeText;
  const int written = g_filesWritten;
  if (!WorldText(before, &beforeText)) {
    EXPECT_EQ(PatchWorldFile(path, mode), kOpenFailed);
    EXPECT_EQ(prefix.ReadFile(path), before);
    EXPECT_EQ(g_filesWritten, written);
    return;
  }
  ASSERT_EQ(PatchWorldFile(path, mode), kPatchDone);
  const std::string after = prefix.ReadFile(path);
  std::string afterText;
  ASSERT_EQ(IsGzipped(after), IsGzipped(before));
  ASSERT_TRUE(WorldText(after, &afterText));
  if (after == before) {
    EXPECT_EQ(g_filesWritten, written);
  } else {
    EXPECT_EQ(g_filesWritten, written + 1);
    ExpectPatchedText(beforeText, afterText, mode);
  }
  ASSERT_EQ(PatchWorldFile(path, mode), kPatchDone);
  EXPECT_EQ(prefix.ReadFile(path), after);
  EXPECT_EQ(g_filesWritten, written + (after == before ? 0 : 1));
}

TEST(CorpusTest, EveryWorldSurvivesBothModes) {
  const std::string corpus = testing_support::CorpusFolder();
  if (corpus.empty()) GTEST_SKIP() << "no corpus folder (set QUIETWALK_CORPUS)";
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus))
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), corpus));
  if (files.empty()) GTEST_SKIP() << "the corpus folder is empty";
  std::sort(files.begin(), files.end());

  testing_support::TestPrefix prefix;
  for (const fs::path& relative : files) {
    std::string path = "C:\\corpus\\" + relative.string();
    std::replace(path.begin(), path.end(), '/', '\\');
    prefix.WriteFile(path, ReadBytes(fs::path(corpus) / relative));
    SCOPED_TRACE(relative.string());
    for (int mode : {0, 1}) ExpectPatched(prefix, path, mode);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
