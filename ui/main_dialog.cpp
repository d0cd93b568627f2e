#include "ui/main_dialog.h"

#include <utility>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/resource.h"

namespace {

// The virtual key of either Shift key.
constexpr int kVkShift = 16;

// The low four bits of a window command are the system's own.
constexpr unsigned kSysCommandMask = 0xFFF0;

// The label the About entry carries while Shift is held.
constexpr const char* kHiddenEntryLabel = "??";

// Where the animation sits, in client pixels.
constexpr int kAnimationX = 570;
constexpr int kAnimationY = 5;
constexpr int kProgressLow = 1;
constexpr int kProgressHigh = 100;

// A Windows rectangle (right and bottom just outside it).
PixelRect WindowsRect(int left, int top, int right, int bottom) { return {left, top, right - left, bottom - top}; }

// How a Linux user points the program at the prefix the browser is in.
constexpr const char* kWinePrefixAdvice =
    "Start the program with WINEPREFIX set to the prefix the browser is installed in, "
    "e.g. WINEPREFIX=~/.wine-sapari quietwalk";

std::string NoWinePrefixText(const std::string& folder) {
  return "No Wine prefix at \"" + folder + "\". \n" + kWinePrefixAdvice;
}

// Message 104, followed by the Wine prefixes searched when there were any.
std::string NoWorldFilesText(const std::string& message, const std::vector<std::string>& prefixesSearched) {
  if (prefixesSearched.empty()) return message;
  std::string text = message + "\n\nThe browser was looked for in these Wine prefixes:";
  for (const std::string& prefix : prefixesSearched) text += "\n    " + prefix;
  return text + "\n\n" + kWinePrefixAdvice;
}

}  // namespace

MainDialog::MainDialog(MainDialogView& view) : MainDialog(view, Hooks{}) {}

MainDialog::MainDialog(MainDialogView& view, Hooks hooks) : m_view(view), m_hooks(std::move(hooks)) {}

MainDialog::~MainDialog() { Teardown(); }

bool MainDialog::OnInitDialog() {
  // A prefix that is no prefix holds no browser either, but being told to
  // reinstall would not help: the fix is to point the program elsewhere.
  if (const std::optional<std::string> folder = m_hooks.folderThatIsNoWinePrefix()) {
    m_view.ShowMessage(NoWinePrefixText(*folder), MessageIcon::kWarning, false);
  } else {
    const std::string browser = m_hooks.browserDirectory();
    m_worldDir = browser + "\\world";
    m_hooks.collectWorldFiles(m_worldDir, m_files);
    // Where the browser was looked for helps only when it was not found.
    if (m_files.empty())
      m_view.ShowMessage(
          NoWorldFilesText(m_view.LoadStringA(IDS_NO_WORLD_FILES),
                           browser.empty() ? m_hooks.winePrefixesSearched() : std::vector<std::string>()),
          MessageIcon::kWarning, false);
  }
  if (m_files.empty()) {
    m_view.HideWindow();
    OnCancel();
  }

  if (m_view.HasSystemMenu()) {
    const std::string about = m_view.LoadStringA(IDS_ABOUTBOX);
    if (!about.empty()) {
      m_view.AppendSystemMenuSeparator();
      m_view.AppendSystemMenuItem(IDM_ABOUTBOX, about);
    }
  }

  m_view.SetIcons();

  m_view.SetItemText(IDC_RADIO_BUMPS_BACK, m_view.LoadStringA(IDS_RADIO_BUMPS_BACK));
  m_view.SetItemText(IDC_RADIO_NO_BUMPS, m_view.LoadStringA(IDS_RADIO_NO_BUMPS));

  m_view.CheckRadioButton(IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS, IDC_RADIO_NO_BUMPS);
  m_restoreBumps = 0;

  m_view.SetItemNullFont(IDC_RADIO_NO_BUMPS);

  // No clip yet: it shows nothing until the run starts.
  m_view.CreateAnimation(IDC_ANIMATE, kAnimationX, kAnimationY);
  return true;
}

void MainDialog::OnOK() {
  // One run per program: the button is out of reach once the run has started.
  if (m_worker) return;

  for (int id : {kIdOk, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) m_view.EnableItem(id, false);
  m_view.OpenAnimationClip(IDR_AVI_TURTLE);
  m_view.CreateProgress(IDC_PROGRESS, WindowsRect(5, 90, 390, 110), kProgressLow, kProgressHigh);
  m_view.CreateStatus(IDC_STATUS, WindowsRect(395, 90, 550, 110));
  // Neither used nor closed while the run lasts: only the worker ends it.
  m_view.EnableWindow(false);

  m_worker = std::make_unique<UiThreadBridge>(m_view, m_view.WorkerHooks());
  m_worker->StartWorker(
      [this](RunWindow& window) { WriteFilesThread(m_files, m_worldDir, m_restoreBumps, window, m_hooks.run); });
}

void MainDialog::OnCancel() { m_view.EndDialog(kIdCancel); }

void MainDialog::OnRadioClicked(int id) {
  if (id == IDC_RADIO_BUMPS_BACK) m_restoreBumps = 1;
  if (id == IDC_RADIO_NO_BUMPS) m_restoreBumps = 0;
}

void MainDialog::PreTranslateKey(bool down, int virtualKey) {
  if (virtualKey != kVkShift) return;
  if (down && m_view.IsWindowVisible()) {
    m_shiftDown = 1;
    if (m_view.HasSystemMenu()) m_view.ModifySystemMenuItem(IDM_ABOUTBOX, kHiddenEntryLabel);
  } else if (!down) {
    m_shiftDown = 0;
    RestoreAboutLabel();
  }
}

bool MainDialog::OnSysCommand(unsigned command) {
  if ((command & kSysCommandMask) != IDM_ABOUTBOX) return false;
  if (m_shiftDown) {
    m_shiftDown = 0;
    RestoreAboutLabel();
    m_view.RunHiddenAnimDialog();
  } else {
    m_view.RunAboutBox();
  }
  return true;
}

void MainDialog::ServeWorker() {
  if (m_worker) m_worker->ServePending();
}

void MainDialog::OnDialogEnded() {
  if (m_worker) m_worker->MarkDialogEnded();
}

void MainDialog::Teardown() {
  // The worker reads this object until it returns, and may be waiting for a
  // message box that only this thread can show.
  m_worker.reset();
}

void MainDialog::RestoreAboutLabel() {
  const std::string about = m_view.LoadStringA(IDS_ABOUTBOX);
  if (m_view.HasSystemMenu() && !about.empty()) m_view.ModifySystemMenuItem(IDM_ABOUTBOX, about);
}
