#include "run/batch_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/run_strings.h"
#include "tests/support/test_prefix.h"

namespace {

std::string StringResource(int id) {
  switch (id) {
#define QW_STRING(number, name, text) \
  case number:                        \
    return text;
#include "ui/string_table.inc"
#undef QW_STRING
    default: return {};
  }
}

const char* IconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning: return "warning";
    case MessageIcon::kStop: return "stop";
    case MessageIcon::kInformation: return "information";
  }
  return "?";
}

// Writes down every request in the order made: one line for each thing shown.
class RecordingWindow : public RunWindow {
 public:
  std::vector<std::string> calls;

  void ShowFile(const std::string& title, const std::string& label, std::optional<int> position) override {
    calls.push_back("title " + title);
    calls.push_back("label " + label);
    if (position) calls.push_back("position " + std::to_string(*position));
  }
  void EndDialog(int code) override { calls.push_back("end " + std::to_string(code)); }
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override {
    calls.push_back(std::string("box ") + IconName(icon) + (ownedByDialog ? " owned " : " ") + text);
  }
  std::string LoadStringA(int id) override { return StringResource(id); }

  // Only the calls that start with `kind`, that word left off.
  std::vector<std::string> Only(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& call : calls)
      if (call.rfind(kind + " ", 0) == 0) out.push_back(call.substr(kind.size() + 1));
    return out;
  }
};

constexpr const char* kBrowser = "C:\\Program Files\\Sony\\Community Place Browser";

// Patches nothing: answers from a table (files not in it are rewritten) and
// counts rewrites in g_filesWritten, as the real patcher does. The world
// folders the runs are given exist.
class BatchRunTest : public testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;

  testing_support::TestPrefix prefix;
  std::map<std::string, PatchResult> results;
  std::vector<std::string> patched;
  std::string directory = kBrowser;
  int lookups = 0;
  bool noChange = false;
  Clock::time_point now;
  RecordingWindow window;

  void SetUp() override {
    g_filesWritten = 0;
    prefix.MakeFolder("C:\\w");
    prefix.MakeFolder(std::string(kBrowser) + "\\world");
  }
  void TearDown() override { g_filesWritten = 0; }

  BatchRunHooks Hooks() {
    BatchRunHooks hooks;
    hooks.patchFile = [this](platform::WorldFolder&, const std::string& path, int mode) {
      patched.push_back(path + " mode " + std::to_string(mode));
      auto found = results.find(path);
      const PatchResult result = found == results.end() ? kPatchDone : found->second;
      if (result == kPatchDone && !noChange) ++g_filesWritten;
      return result;
    };
    hooks.browserDirectory = [this] {
      ++lookups;
      return directory;
    };
    hooks.now = [this] { return now; };
    return hooks;
  }

  int Run(const WorldFileList& files, int mode = 0) { return WriteFilesThread(files, "C:\\w", mode, window, Hooks()); }
};

std::string World(const std::string& name) { return std::string(kBrowser) + "\\world\\" + name; }

TEST_F(BatchRunTest, OneFileWrittenGivesTheWholeSequence) {
  EXPECT_EQ(Run({World("city\\city.wrl")}), 0);
  const std::vector<std::string> expected = {
      "title Quietwalk - ...\\world\\city\\city.wrl",
      "label Writting File 1 of 1",
      "title Quietwalk - ...\\world\\city\\city.wrl",
      "label Writting File 1 of 1",
      "position 100",
      "box information owned Done ! \n1 files have been written.",
      "end 0",
  };
  EXPECT_EQ(window.calls, expected);
  EXPECT_EQ(patched, std::vector<std::string>{World("city\\city.wrl") + " mode 0"});
}

TEST_F(BatchRunTest, NothingToChangeGivesThirdsAndTheEmptySummary) {
  noChange = true;
  Run({World("a.wrl"), World("b.wrl"), World("c.wrl")}, 1);
  EXPECT_EQ(window.Only("position"), (std::vector<std::string>{"33", "66", "100"}));
  EXPECT_EQ(window.Only("label"), (std::vector<std::string>{"Writting File 1 of 3", "Writting File 1 of 3",
                                                            "Writting File 2 of 3", "Writting File 3 of 3"}));
  EXPECT_EQ(window.Only("box"),
            std::vector<std::string>{"information owned Done! \nNo files have been written or modified."});
  EXPECT_EQ(window.calls.back(), "end 0");
  EXPECT_EQ(patched.back(), World("c.wrl") + " mode 1");
}

TEST_F(BatchRunTest, FortyFilesStepByFloorOfTheShare) {
  WorldFileList files;
  // Not "f" + std::to_string(k): GCC 12 at -O3 takes that for an overlapping copy.
  for (int k = 1; k <= 40; ++k) files.push_back(World(std::string("f").append(std::to_string(k)) + ".wrl"));
  Run(files);
  const auto positions = window.Only("position");
  ASSERT_EQ(positions.size(), 40u);
  for (int k = 1; k <= 40; ++k)
    EXPECT_EQ(positions[static_cast<std::size_t>(k - 1)], std::to_string(100 * k / 40)) << k;
  EXPECT_EQ(positions.front(), "2");
  EXPECT_EQ(positions[2], "7");
  const auto labels = window.Only("label");
  EXPECT_EQ(labels[3], "Writting File 3 of 40");
  // The title names the file just finished: the second title is still file 1.
  const auto titles = window.Only("title");
  EXPECT_EQ(titles[1], "Quietwalk - ...\\world\\f1.wrl");
  EXPECT_EQ(titles[40], "Quietwalk - ...\\world\\f40.wrl");
  EXPECT_EQ(window.Only("box").back(), "information owned Done ! \n40 files have been written.");
}

TEST_F(BatchRunTest, MissingFileIsReportedAndTheRunGoesOn) {
  results[World("gone.wrl")] = kFileMissing;
  Run({World("a.wrl"), World("gone.wrl"), World("b.wrl")});
  const std::vector<std::string> expected = {
      "title Quietwalk - ...\\world\\a.wrl",
      "label Writting File 1 of 3",
      "title Quietwalk - ...\\world\\a.wrl",
      "label Writting File 1 of 3",
      "position 33",
      "box warning The file \"" + World("gone.wrl") + "\" doesn't exist. \nThis file is going to be ignored.",
      "title Quietwalk - ...\\world\\gone.wrl",
      "label Writting File 2 of 3",
      "position 66",
      "title Quietwalk - ...\\world\\b.wrl",
      "label Writting File 3 of 3",
      "position 100",
      "box information owned Done ! \n2 files have been written.",
      "end 0",
  };
  EXPECT_EQ(window.calls, expected);
}

TEST_F(BatchRunTest, EachFailureHasItsMessageAndIcon) {
  struct Case {
    PatchResult result;
    std::string box;  // empty: no box
  };
  const std::string p = "C:\\w\\x.wrl";
  const std::string openFailed = "warning Unable to open the file \"" + p +
                                 "\". \n\nMake sure if this file exists or isn't in use. \nThis file is going to be "
                                 "ignored.";
  const std::vector<Case> cases = {
      {kFileMissing, "warning The file \"" + p + "\" doesn't exist. \nThis file is going to be ignored."},
      {kOpenFailed, openFailed},
      {kReadOnly,
       "warning Cannot write the file \"" + p + "\" because it's read-only. \nThis file is going to be ignored."},
      {kDiskFull, "stop Unable to write the file \"" + p + "\" because the disk is full."},
      {kAccessDenied, "warning Cannot write the file \"" + p +
                          "\" (Access is denied). \n\nMake sure if this file isn't in use. \nThis file is "
                          "going to be ignored."},
      {kOtherIoFailure, openFailed},
      {kPatchDone, ""},
  };
  for (const auto& c : cases) {
    window.calls.clear();
    results[p] = c.result;
    Run({p});
    auto boxes = window.Only("box");
    boxes.pop_back();  // the summary
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.empty()) << c.result;
    } else {
      EXPECT_EQ(boxes, std::vector<std::string>{c.box}) << c.result;
    }
  }
}

TEST_F(BatchRunTest, FullDiskEndsTheDialogButEveryFileIsStillTried) {
  results[World("2.wrl")] = kDiskFull;
  results[World("4.wrl")] = kReadOnly;
  Run({World("1.wrl"), World("2.wrl"), World("3.wrl"), World("4.wrl"), World("5.wrl")});
  EXPECT_EQ(patched.size(), 5u);
  const std::vector<std::string> afterFile1(window.calls.begin() + 5, window.calls.end());
  const std::vector<std::string> expected = {
      "box stop Unable to write the file \"" + World("2.wrl") + "\" because the disk is full.",
      "end -4",
      "title Quietwalk - ...\\world\\2.wrl",
      "label Writting File 2 of 5",
      "position 40",
      "title Quietwalk - ...\\world\\3.wrl",
      "label Writting File 3 of 5",
      "position 60",
      "box warning Cannot write the file \"" + World("4.wrl") +
          "\" because it's read-only. \nThis file is going to be ignored.",
      "title Quietwalk - ...\\world\\4.wrl",
      "label Writting File 4 of 5",
      "position 80",
      "title Quietwalk - ...\\world\\5.wrl",
      "label Writting File 5 of 5",
      "position 100",
      "box information owned Done ! \n3 files have been written.",
      "end 0",
  };
  EXPECT_EQ(afterFile1, expected);
}

TEST_F(BatchRunTest, FileListedTwiceCountsTwice) {
  Run({World("same.wrl"), World("same.wrl")});
  EXPECT_EQ(window.Only("label").back(), "Writting File 2 of 2");
  EXPECT_EQ(window.Only("position"), (std::vector<std::string>{"50", "100"}));
  EXPECT_EQ(patched.size(), 2u);
}

// Titles shown within a frame share a lookup; one shown a frame after the
// last lookup sees the browser gone.
TEST_F(BatchRunTest, TitleFollowsTheLookupOfTheFrame) {
  auto hooks = Hooks();
  hooks.browserDirectory = [this] { return lookups++ == 0 ? std::string(kBrowser) : std::string(); };
  const auto patchFile = hooks.patchFile;
  hooks.patchFile = [&](platform::WorldFolder& folder, const std::string& path, int mode) {
    if (path == World("late.wrl")) now += std::chrono::milliseconds(16);
    return patchFile(folder, path, mode);
  };
  WriteFilesThread({World("a.wrl"), World("b.wrl"), World("late.wrl")}, World(""), 0, window, hooks);
  const std::vector<std::string> titles = window.Only("title");
  ASSERT_EQ(titles.size(), 4u);
  EXPECT_EQ(titles[2], "Quietwalk - ...\\world\\b.wrl");
  EXPECT_EQ(titles[3], "Quietwalk - " + World("late.wrl"));
  EXPECT_EQ(lookups, 2);
}

TEST_F(BatchRunTest, EveryFileOfAWorldFolderThatIsGoneIsMissing) {
  WriteFilesThread({"C:\\gone\\a.wrl", "C:\\gone\\b.wrl"}, "C:\\gone", 0, window, Hooks());
  EXPECT_TRUE(patched.empty());
  EXPECT_EQ(window.Only("box").size(), 3u);
  EXPECT_EQ(window.Only("box")[1],
            "warning " + ReplacePathPlaceholders(StringResource(IDS_FILE_MISSING), "C:\\gone\\b.wrl"));
}

TEST(RunTitle, ShortensEveryOccurrenceOfTheBrowserDirectory) {
  const std::string path = World("city\\city.wrl");
  EXPECT_EQ(RunTitle(path, kBrowser), "Quietwalk - ...\\world\\city\\city.wrl");
  // A registry answer is taken as stored, trailing backslash and all.
  EXPECT_EQ(RunTitle(path, std::string(kBrowser) + "\\"), "Quietwalk - ...world\\city\\city.wrl");
  EXPECT_EQ(RunTitle(path, ""), "Quietwalk - " + path);
  // Exact bytes: another case is another directory.
  EXPECT_EQ(RunTitle(path, "c:\\program files\\sony\\community place browser"), "Quietwalk - " + path);
  // Every occurrence, left to right, without overlaps.
  EXPECT_EQ(RunTitle("C:\\B\\x\\C:\\B\\y", "C:\\B"), "Quietwalk - ...\\x\\...\\y");
  EXPECT_EQ(RunTitle("aaaa", "aa"), "Quietwalk - ......");
  EXPECT_EQ(RunTitle("aaa", "aa"), "Quietwalk - ...a");
  // What was put in is not searched again.
  EXPECT_EQ(RunTitle("x..y", "."), "Quietwalk - x......y");
}

TEST(ReplacePathPlaceholders, PathIsPutInOnceAndNotSearchedAgain) {
  EXPECT_EQ(ReplacePathPlaceholders("The file \"%d\" doesn't exist.", "C:\\w\\100%d.wrl"),
            "The file \"C:\\w\\100%d.wrl\" doesn't exist.");
  EXPECT_EQ(ReplacePathPlaceholders("%d and %d", "%d%d"), "%d%d and %d%d");
  EXPECT_EQ(ReplacePathPlaceholders("%%dd", "X"), "%Xd");
  EXPECT_EQ(ReplacePathPlaceholders("no field", "X"), "no field");
}

TEST_F(BatchRunTest, PathHoldingAFieldShowsAsItIs) {
  const std::string odd = World("100%d.wrl");
  results[odd] = kFileMissing;
  Run({odd});
  EXPECT_EQ(window.Only("box").front(),
            "warning The file \"" + odd + "\" doesn't exist. \nThis file is going to be ignored.");
  EXPECT_EQ(window.Only("title").front(), "Quietwalk - ...\\world\\100%d.wrl");
}

TEST(FormatNumbers, FillsFieldsInTurn) {
  EXPECT_EQ(FormatNumbers("Writting File %d of %d", {3, 40}), "Writting File 3 of 40");
  EXPECT_EQ(FormatNumbers("%d-%d-%d", {1, -2}), "1--2-%d");
  EXPECT_EQ(FormatNumbers("none", {7}), "none");
}

TEST(ShowSummary, CountBelowOneMeansNothingWritten) {
  for (int count : {0, -3}) {
    RecordingWindow window;
    ShowSummary(window, count);
    EXPECT_EQ(window.calls, (std::vector<std::string>{
                                "box information owned Done! \nNo files have been written or modified.", "end 0"}));
  }
  RecordingWindow window;
  ShowSummary(window, 37);
  EXPECT_EQ(window.calls.front(), "box information owned Done ! \n37 files have been written.");
}

TEST_F(BatchRunTest, EmptyListGoesStraightToTheSummary) {
  Run({});
  EXPECT_EQ(window.calls, (std::vector<std::string>{
                              "box information owned Done! \nNo files have been written or modified.", "end 0"}));
}

}  // namespace
