#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_ui_thread.h"
#include "tests/support/test_prefix.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

constexpr const char* kBrowser = "C:\\Program Files\\Sony\\Community Place Browser";

// Writes down what the behaviour asks of the window toolkit, one line each.
// The test's thread is the UI thread; the modal loop runs until the dialog
// is ended.
class RecordingView final : public MainDialogView {
 public:
  MainDialog* dialog = nullptr;
  std::vector<std::string> calls;
  bool visible = true;
  bool hasMenu = true;
  bool ended = false;

  void RunModalLoop() {
    while (!ended) PumpUiEvents();
  }
  // Only the calls that start with `kind`.
  std::vector<std::string> Only(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& call : calls)
      if (call.rfind(kind, 0) == 0) out.push_back(call);
    return out;
  }

  UiThreadHooks WorkerHooks() override {
    return {[this] { m_loop.Wake(); }, LoadResourceString};
  }
  void PumpUiEvents() override {
    m_loop.Pump([this] { dialog->ServeWorker(); });
  }
  void ShowFile(const std::string& title, const std::string& label, std::optional<int> position) override {
    Note("file " + title + " | " + label + (position ? " | " + std::to_string(*position) : ""));
  }
  void EndDialog(int code) override {
    Note("end " + std::to_string(code));
    ended = true;
  }
  void ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) override {
    Note("box " + std::to_string(static_cast<int>(icon)) + (ownedByDialog ? " owned " : " ") + text);
  }
  std::string LoadStringA(int id) override { return LoadResourceString(id); }
  void HideWindow() override {
    Note("hide");
    visible = false;
  }
  bool IsWindowVisible() override { return visible; }
  void EnableWindow(bool enable) override { Note(enable ? "enable window" : "disable window"); }
  void SetIcons() override { Note("icons"); }
  bool HasSystemMenu() override { return hasMenu; }
  void AppendSystemMenuSeparator() override { Note("menu separator"); }
  void AppendSystemMenuItem(unsigned command, const std::string& text) override {
    Note("menu append " + std::to_string(command) + " " + text);
  }
  void ModifySystemMenuItem(unsigned command, const std::string& text) override {
    Note("menu modify " + std::to_string(command) + " " + text);
  }
  void SetItemText(int id, const std::string& text) override { Note("text " + std::to_string(id) + " " + text); }
  void CheckRadioButton(int first, int last, int checked) override {
    Note("check " + std::to_string(first) + ".." + std::to_string(last) + " " + std::to_string(checked));
  }
  void SetItemNullFont(int id) override { Note("null font " + std::to_string(id)); }
  void EnableItem(int id, bool enable) override { Note((enable ? "enable " : "disable ") + std::to_string(id)); }
  void CreateAnimation(int id, int x, int y) override {
    Note("animation " + std::to_string(id) + " at " + std::to_string(x) + "," + std::to_string(y));
  }
  void OpenAnimationClip(int clipId) override { Note("clip " + std::to_string(clipId)); }
  void CreateProgress(int id, const PixelRect& r, int low, int high) override {
    Note("progress " + std::to_string(id) + " " + Rect(r) + " range " + std::to_string(low) + ".." +
         std::to_string(high));
  }
  void CreateStatus(int id, const PixelRect& r) override { Note("status " + std::to_string(id) + " " + Rect(r)); }
  void RunAboutBox() override { Note("about box"); }
  void RunHiddenAnimDialog() override { Note("hidden dialog"); }

 private:
  static std::string Rect(const PixelRect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.cx) + "x" + std::to_string(r.cy);
  }
  void Note(const std::string& what) { calls.push_back(what); }
  testing_support::FakeUiThread m_loop;
};

class MainDialogTest : public testing::Test {
 protected:
  MainDialogTest() { prefix.MakeFolder(std::string(kBrowser) + "\\world"); }

  // The world folder a run opens.
  testing_support::TestPrefix prefix;
  RecordingView view;
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
};

TEST_F(MainDialogTest, InitialisationSetsTheDialogUpInOrder) {
  MainDialog dialog(view, Hooks());
  view.dialog = &dialog;
  EXPECT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(scanned, std::string(kBrowser) + "\\world");
  EXPECT_EQ(dialog.worldDir(), scanned);
  EXPECT_EQ(view.calls, (std::vector<std::string>{
                            "menu separator",
                            "menu append 16 &About...",
                            "icons",
                            "text 1000 I want the bumps back pls :]",
                            "text 1002 HATE THOSE ANNOYING BUMPS I DON'T WANT TO HEAR THOSE ANYMORE",
                            "check 1000..1002 1002",
                            "null font 1002",
                            "animation 6532 at 570,5",
                        }));
  EXPECT_EQ(dialog.restoreBumps(), 0);
}

// No world file: message 104, the dialog hidden and cancelled, and the rest
// of the initialisation still done. No worker ever starts.
TEST_F(MainDialogTest, EmptyListShowsMessage104AndCancels) {
  found.clear();
  view.hasMenu = false;
  MainDialog dialog(view, Hooks());
  view.dialog = &dialog;
  dialog.OnInitDialog();
  ASSERT_GE(view.calls.size(), 4u);
  EXPECT_EQ(view.calls[0], "box 0 No VRML files found. Try reinstalling SAPARi.");
  EXPECT_EQ(view.calls[1], "hide");
  EXPECT_EQ(view.calls[2], "end 2");
  EXPECT_EQ(view.calls.back(), "animation 6532 at 570,5");
  EXPECT_TRUE(view.Only("menu").empty());
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
  MainDialog dialog(view, hooks);
  view.dialog = &dialog;
  dialog.OnInitDialog();
  ASSERT_FALSE(view.calls.empty());
  EXPECT_EQ(view.calls[0].rfind("box 0 " + LoadResourceString(IDS_NO_WORLD_FILES) + "\n\n", 0), 0u);
  EXPECT_NE(view.calls[0].find("\n    ~/.wine\n    ~/Games/*\n"), std::string::npos) << view.calls[0];
  EXPECT_NE(view.calls[0].find("WINEPREFIX="), std::string::npos);
}

// A folder that is no Wine prefix is named instead, and nothing is scanned.
TEST_F(MainDialogTest, NoWinePrefixIsNamedAndCancels) {
  noPrefixAt = "/home/me/.wine";
  MainDialog dialog(view, Hooks());
  view.dialog = &dialog;
  dialog.OnInitDialog();
  ASSERT_GE(view.calls.size(), 3u);
  EXPECT_EQ(view.calls[0].rfind("box 0 No Wine prefix at \"/home/me/.wine\". \n", 0), 0u) << view.calls[0];
  EXPECT_NE(view.calls[0].find("WINEPREFIX="), std::string::npos);
  EXPECT_EQ(view.calls[1], "hide");
  EXPECT_EQ(view.calls[2], "end 2");
  EXPECT_TRUE(scanned.empty());
}

// OK turns the dialog into the run's display, then the run patches with the
// mode of the last radio clicked and ends the dialog after its summary.
TEST_F(MainDialogTest, OkStartsTheRunWithTheLastChoice) {
  found.push_back(std::string(kBrowser) + "\\world\\b.wrl");
  MainDialog dialog(view, Hooks());
  view.dialog = &dialog;
  dialog.OnInitDialog();
  dialog.OnRadioClicked(IDC_RADIO_BUMPS_BACK);
  dialog.OnRadioClicked(IDC_RADIO_NO_BUMPS);
  dialog.OnRadioClicked(IDC_RADIO_BUMPS_BACK);
  view.calls.clear();

  dialog.OnOK();
  const std::vector<std::string> setUp(view.calls.begin(), view.calls.begin() + 7);
  EXPECT_EQ(setUp, (std::vector<std::string>{"disable 1", "disable 1000", "disable 1002", "clip 134",
                                             "progress 22 5,90 385x20 range 1..100", "status 65535 395,90 155x20",
                                             "disable window"}));
  const UiThreadBridge* worker = dialog.worker();
  ASSERT_NE(worker, nullptr);
  dialog.OnOK();
  EXPECT_EQ(dialog.worker(), worker);

  view.RunModalLoop();
  dialog.Teardown();
  const std::string world = std::string(kBrowser) + "\\world";
  EXPECT_EQ(patched,
            (std::vector<std::string>{world + "\\a.wrl mode 1 in " + world, world + "\\b.wrl mode 1 in " + world}));
  EXPECT_EQ(view.Only("file").back(), "file Quietwalk - ...\\world\\b.wrl | Writting File 2 of 2 | 100");
  EXPECT_EQ(view.calls.back(), "end 0");
}

TEST_F(MainDialogTest, ShiftTurnsTheAboutEntryIntoTheHiddenDialog) {
  MainDialog dialog(view, Hooks());
  view.dialog = &dialog;
  dialog.OnInitDialog();
  view.calls.clear();

  // Without Shift: the About box. Other commands are not ours.
  EXPECT_TRUE(dialog.OnSysCommand(IDM_ABOUTBOX));
  EXPECT_FALSE(dialog.OnSysCommand(0xF060));
  // Shift held: "??", and the entry (the low four bits are the system's)
  // opens the hidden dialog and puts the label back.
  dialog.PreTranslateKey(true, 16);
  EXPECT_EQ(dialog.shiftDown(), 1);
  EXPECT_TRUE(dialog.OnSysCommand(IDM_ABOUTBOX | 0x3));
  EXPECT_EQ(dialog.shiftDown(), 0);
  // Pressed and released: the About box again. Other keys change nothing.
  dialog.PreTranslateKey(true, 16);
  dialog.PreTranslateKey(false, 16);
  dialog.PreTranslateKey(true, 17);
  dialog.OnSysCommand(IDM_ABOUTBOX);
  // Shift seen while the dialog is hidden does not count.
  view.visible = false;
  dialog.PreTranslateKey(true, 16);
  EXPECT_EQ(dialog.shiftDown(), 0);

  EXPECT_EQ(view.calls, (std::vector<std::string>{
                            "about box",
                            "menu modify 16 ??",
                            "menu modify 16 &About...",
                            "hidden dialog",
                            "menu modify 16 ??",
                            "menu modify 16 &About...",
                            "about box",
                        }));
}

}  // namespace
