#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "patch/world_patcher.h"
#include "product/product_text.h"
#include "qt/message_box.h"
#include "qt/quietwalk_dlg.h"
#include "tests/support/test_prefix.h"

namespace testing_support {

// The browser as the fixed second lookup rule finds it.
inline const std::string kBrowser = "C:\\Program Files\\Sony\\Community Place Browser";
inline const std::string kWorld = kBrowser + "\\world";

// Puts the browser's program file in place, so that the lookup finds it.
inline void InstallBrowser(const TestPrefix& prefix) { prefix.WriteFile(kBrowser + "\\bin\\cpbrowse.exe", "MZ"); }

// A world that declares the prototype and turns the bumps on.
inline const std::string kBumpsOn =
    "#VRML V2.0 utf8\n"
    "PROTO Sony_WorldInfo [\n"
    "  field SFBool collisionSound TRUE\n"
    "] {}\n"
    "Sony_WorldInfo { collisionSound TRUE }\n";
// The same world after mode 0: every line in CR LF.
inline const std::string kBumpsOnMadeQuiet =
    "#VRML V2.0 utf8\r\n"
    "PROTO Sony_WorldInfo [\r\n"
    "  field SFBool collisionSound FALSE\r\n"
    "] {}\r\n"
    "Sony_WorldInfo { collisionSound FALSE }\r\n";

// A world that knows nothing of the prototype.
inline const std::string kPlainWorld = "#VRML V2.0 utf8\nShape {}\n";
// The same world after `mode`: the block follows the header line.
inline std::string PlainWorldPatched(int mode) {
  const std::string rule = "#-----------------------------------------------------------\r\n";
  return "#VRML V2.0 utf8\r\n" + rule +
         "# Modified by SAPARiQuietwalk\r\n"
         "# Ver 1.0\r\n"
         "# " +
         std::string(kHomePage) +
         "\r\n"
         "PROTO Sony_WorldInfo [\r\n"
         "  field        SFBool   collisionSound       " +
         (mode == 1 ? "TRUE" : "FALSE") +
         "\r\n"
         "] {}\r\n" +
         rule + "Shape {}\r\n";
}

// A world that already has the bumps off: nothing to change.
inline const std::string kAlreadyQuiet =
    "#VRML V2.0 utf8\n"
    "PROTO Sony_WorldInfo [ field SFBool collisionSound FALSE ] {}\n";

// The main dialog with the run's controls in reach.
class RunDialog : public CQuietwalkDlg {
 public:
  using CQuietwalkDlg::CQuietwalkDlg;
  using CQuietwalkDlg::m_animate;
  using CQuietwalkDlg::m_progress;
  using CQuietwalkDlg::m_status;
};

// A dialog's hooks for `count` made-up worlds under the browser, handed to
// `patch` instead of the patcher: a run that touches no file. The run opens
// the world folder itself, which `prefix` holds, empty.
inline MainDialog::Hooks StandInWorlds(const TestPrefix& prefix, int count, std::function<PatchResult()> patch) {
  prefix.MakeFolder(kWorld);
  MainDialog::Hooks hooks;
  hooks.folderThatIsNoWinePrefix = [] { return std::nullopt; };
  hooks.browserDirectory = [] { return kBrowser; };
  hooks.collectWorldFiles = [count](const std::string& folder, WorldFileList& list) {
    for (int i = 0; i < count; ++i) list.push_back(folder + "\\room" + std::to_string(i) + ".wrl");
  };
  hooks.run.browserDirectory = [] { return kBrowser; };
  hooks.run.patchFile = [patch = std::move(patch)](platform::WorldFolder&, const std::string&, int) { return patch(); };
  return hooks;
}

// A message box as the presenter was asked for it.
struct ShownBox {
  std::string text;
  std::string caption;
  MessageIcon icon;
  const QWidget* owner;
};

// Takes the place of the program's message boxes while it lives: each box is
// written down, `onBox` runs while it is "open" (the worker waits meanwhile),
// and the box is then answered.
class RecordingPresenter final : public MessageBoxPresenter {
 public:
  explicit RecordingPresenter(std::function<void(const ShownBox&)> onBox = {})
      : m_onBox(std::move(onBox)), m_previous(SetMessageBoxPresenter(this)) {}
  ~RecordingPresenter() override { SetMessageBoxPresenter(m_previous); }
  RecordingPresenter(const RecordingPresenter&) = delete;
  RecordingPresenter& operator=(const RecordingPresenter&) = delete;

  void Show(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon) override {
    ShownBox box{text, caption, icon, owner};
    m_boxes.push_back(box);
    if (m_onBox) m_onBox(box);
  }

  const std::vector<ShownBox>& boxes() const { return m_boxes; }

 private:
  std::function<void(const ShownBox&)> m_onBox;
  MessageBoxPresenter* m_previous;
  std::vector<ShownBox> m_boxes;
};

}  // namespace testing_support
