#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_ui_thread.h"
#include "tests/support/test_prefix.h"
#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

constexpr const char* kBrowser = "C:\\Program Files\\Sony\\Community Place Browser";

// The dialog as a user would find it. The test's thread is the UI thread; the
// modal loop runs until the dialog is ended.
class FakeView final : public MainDialogView {
 public:
  std::string bumpsBackText, noBumpsText;
  std::string aboutEntry;
  int aboutEntriesAdded = 0;
  bool inRunMode = false;
  bool hidden = false;
  std::optional<int> endCode;
  std::vector<std::string> boxes;
  std::vector<std::string> modalDialogs;
  std::optional<RunState> runState;
  MainDialog* dialog = nullptr;
  testing_support::FakeUiThread loop;

  void RunModalLoop() {
    while (!endCode) PumpUiEvents();
  }

  void ShowChoices(const std::string& bumpsBack, const std::string& noBumps) override {
    bumpsBackText = bumpsBack;
    noBumpsText = noBumps;
  }
  void SetAboutEntry(const std::string& label) override {
    if (aboutEntry.empty()) ++aboutEntriesAdded;
    aboutEntry = label;
  }
  void EnterRunMode() override { inRunMode = true; }
  void Hide() override { hidden = true; }
  void RunAboutBox() override { modalDialogs.push_back("about"); }
  void RunHiddenAnimDialog() override { modalDialogs.push_back("hidden"); }
  void PumpUiEvents() override {
    loop.Pump([this] { dialog->ServeWorker(); });
  }
  void ShowRunState(const RunState& state) override { runState = state; }
  void EndDialog(int code) override { endCode = code; }
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override {
    boxes.push_back(std::to_string(static_cast<int>(icon)) + (ownedByDialog ? " owned " : " ") + text);
  }
};

class MainDialogTest : public testing::Test {
 protected:
  MainDialogTest() { prefix.MakeFolder(std::string(kBrowser) + "\\world"); }

  // The world folder a run opens.
  testing_support::TestPrefix prefix;
  FakeView view;
  WorldFileList found = {std::string(kBrowser) + "\\world\\a.wrl"};
  std::vector<std::string> patched;
  std::string scanned;
  std::optional<std::string> noPrefixAt;

  MainDialog::Hooks Hooks() {
    MainDialog::Hooks hooks;
    hooks.browserDirectory = [] { return std::string(kBrowser); };
    hooks.folderThatIsNoWinePrefix = [this] { return noPrefixAt; };
    hooks.collectWorldFiles = [this](const std::string& folder, WorldFileList& list) {
      scanned = folder;
      list.insert(list.end(), found.begin(), found.end());
    };
    hooks.run.patchFile = [this](platform::WorldFolder& worldFolder, const std::string& path, int mode) {
      patched.push_back(path + " mode " + std::to_string(mode) + " in " + worldFolder.path());
      return kPatchDone;
    };
    hooks.run.browserDirectory = [] { return std::string(kBrowser); };
    return hooks;
  }
  std::function<void()> Wake() {
    return [this] { view.loop.Wake(); };
  }
  static std::string Warning(int id) {
    return std::to_string(static_cast<int>(MessageIcon::kWarning)) + " " + LoadResourceString(id);
  }
};

TEST_F(MainDialogTest, InitialisationShowsTheChoicesAndTheAboutEntry) {
  MainDialog dialog(view, Wake(), Hooks());
  EXPECT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(scanned, std::string(kBrowser) + "\\world");
  EXPECT_EQ(dialog.worldDir(), scanned);
  EXPECT_EQ(view.bumpsBackText, LoadResourceString(IDS_RADIO_BUMPS_BACK));
  EXPECT_EQ(view.noBumpsText, LoadResourceString(IDS_RADIO_NO_BUMPS));
  EXPECT_EQ(view.aboutEntry, LoadResourceString(IDS_ABOUTBOX));
  EXPECT_EQ(view.aboutEntriesAdded, 1);
  EXPECT_EQ(dialog.restoreBumps(), 0);
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_FALSE(view.hidden || view.endCode || view.inRunMode);
}

// No world file: message 104, the dialog hidden and cancelled, and the rest
// of the initialisation still done. No worker ever starts, and Shift then
// changes nothing.
TEST_F(MainDialogTest, EmptyListShowsMessage104AndCancels) {
  found.clear();
  MainDialog dialog(view, Wake(), Hooks());
  dialog.OnInitDialog();
  EXPECT_EQ(view.boxes, std::vector<std::string>{Warning(IDS_NO_WORLD_FILES)});
  EXPECT_TRUE(view.hidden);
  EXPECT_EQ(view.endCode, kIdCancel);
  EXPECT_EQ(view.noBumpsText, LoadResourceString(IDS_RADIO_NO_BUMPS));
  dialog.OnShiftKey(true);
  EXPECT_EQ(dialog.shiftDown(), 0);
  dialog.Teardown();
  EXPECT_EQ(dialog.worker(), nullptr);
}

// No browser found at all: message 104, then the Wine prefixes searched and
// how to name another.
TEST_F(MainDialogTest, NoBrowserNamesThePrefixesSearched) {
  found.clear();
  MainDialog::Hooks hooks = Hooks();
  hooks.browserDirectory = [] { return std::string(); };
  hooks.winePrefixesSearched = [] { return std::vector<std::string>{"~/.wine", "~/Games/*"}; };
  MainDialog dialog(view, Wake(), hooks);
  dialog.OnInitDialog();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].rfind("0 " + LoadResourceString(IDS_NO_WORLD_FILES) + "\n\n", 0), 0u) << view.boxes[0];
  EXPECT_NE(view.boxes[0].find("\n    ~/.wine\n    ~/Games/*\n"), std::string::npos) << view.boxes[0];
  EXPECT_NE(view.boxes[0].find("WINEPREFIX="), std::string::npos);
}

// A folder that is no Wine prefix is named instead, and nothing is scanned.
TEST_F(MainDialogTest, NoWinePrefixIsNamedAndCancels) {
  noPrefixAt = "/home/me/.wine";
  MainDialog dialog(view, Wake(), Hooks());
  dialog.OnInitDialog();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].rfind("0 No Wine prefix at \"/home/me/.wine\". \n", 0), 0u) << view.boxes[0];
  EXPECT_NE(view.boxes[0].find("WINEPREFIX="), std::string::npos);
  EXPECT_TRUE(view.hidden);
  EXPECT_EQ(view.endCode, kIdCancel);
  EXPECT_TRUE(scanned.empty());
}

// OK turns the dialog into the run's display, then the run patches with the
// mode of the last radio clicked, shows the last file and ends the dialog
// after its summary. A second OK starts nothing.
TEST_F(MainDialogTest, OkStartsOneRunWithTheLastChoice) {
  found.push_back(std::string(kBrowser) + "\\world\\b.wrl");
  MainDialog dialog(view, Wake(), Hooks());
  dialog.OnInitDialog();
  dialog.OnRadioClicked(IDC_RADIO_BUMPS_BACK);
  dialog.OnRadioClicked(IDC_RADIO_NO_BUMPS);
  dialog.OnRadioClicked(IDC_RADIO_BUMPS_BACK);

  dialog.OnOK();
  EXPECT_TRUE(view.inRunMode);
  const UiThreadBridge* worker = dialog.worker();
  ASSERT_NE(worker, nullptr);
  dialog.OnOK();
  EXPECT_EQ(dialog.worker(), worker);

  view.dialog = &dialog;
  view.RunModalLoop();
  dialog.Teardown();
  const std::string world = std::string(kBrowser) + "\\world";
  EXPECT_EQ(patched,
            (std::vector<std::string>{world + "\\a.wrl mode 1 in " + world, world + "\\b.wrl mode 1 in " + world}));
  EXPECT_EQ(view.runState, (RunState{"Quietwalk - ...\\world\\b.wrl", "Writting File 2 of 2", 100}));
  EXPECT_EQ(view.boxes, std::vector<std::string>{"2 owned " + LoadResourceString(IDS_SUMMARY_NONE)});
  EXPECT_EQ(view.endCode, 0);
}

TEST_F(MainDialogTest, ShiftTurnsTheAboutEntryIntoTheHiddenDialog) {
  MainDialog dialog(view, Wake(), Hooks());
  dialog.OnInitDialog();
  const std::string about = LoadResourceString(IDS_ABOUTBOX);

  // Without Shift: the About box.
  dialog.OnAboutChosen();
  // Shift held: "??", and the entry opens the hidden dialog and puts the
  // label back.
  dialog.OnShiftKey(true);
  EXPECT_EQ(dialog.shiftDown(), 1);
  EXPECT_EQ(view.aboutEntry, "??");
  dialog.OnAboutChosen();
  EXPECT_EQ(dialog.shiftDown(), 0);
  EXPECT_EQ(view.aboutEntry, about);
  // Pressed and released: the About box again.
  dialog.OnShiftKey(true);
  dialog.OnShiftKey(false);
  EXPECT_EQ(view.aboutEntry, about);
  dialog.OnAboutChosen();

  EXPECT_EQ(view.modalDialogs, (std::vector<std::string>{"about", "hidden", "about"}));
  EXPECT_EQ(view.aboutEntriesAdded, 1);
}

}  // namespace
