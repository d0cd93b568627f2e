#include "ui/main_dialog.h"

#include <cassert>
#include <utility>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

// The label the About entry carries while Shift is held.
constexpr const char* kHiddenEntryLabel = "??";

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

MainDialog::MainDialog(MainDialogView& view, std::function<void()> wakeUiThread)
    : MainDialog(view, std::move(wakeUiThread), Hooks{}) {}

MainDialog::MainDialog(MainDialogView& view, std::function<void()> wakeUiThread, Hooks hooks)
    : m_view(view), m_wakeUiThread(std::move(wakeUiThread)), m_hooks(std::move(hooks)) {}

MainDialog::~MainDialog() { Teardown(); }

bool MainDialog::OnInitDialog() {
  assert(!m_initialised && "a dialog is initialised once");
  m_initialised = true;
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
          NoWorldFilesText(LoadResourceString(IDS_NO_WORLD_FILES),
                           browser.empty() ? m_hooks.winePrefixesSearched() : std::vector<std::string>()),
          MessageIcon::kWarning, false);
  }
  if (m_files.empty()) {
    m_view.Hide();
    m_hidden = true;
    OnCancel();
  }

  SetAboutEntryFromTable();
  m_view.ShowChoices(LoadResourceString(IDS_RADIO_BUMPS_BACK), LoadResourceString(IDS_RADIO_NO_BUMPS));
  m_restoreBumps = 0;
  return true;
}

void MainDialog::OnOK() {
  // One run per program: the button is out of reach once the run has started.
  if (m_worker) return;
  m_view.EnterRunMode();
  m_worker = std::make_unique<UiThreadBridge>(m_view, UiThreadHooks{m_wakeUiThread, LoadResourceString});
  m_worker->StartWorker(
      [this](RunWindow& window) { WriteFilesThread(m_files, m_worldDir, m_restoreBumps, window, m_hooks.run); });
}

void MainDialog::OnCancel() { m_view.EndDialog(kIdCancel); }

void MainDialog::OnRadioClicked(int id) {
  if (id == IDC_RADIO_BUMPS_BACK) m_restoreBumps = 1;
  if (id == IDC_RADIO_NO_BUMPS) m_restoreBumps = 0;
}

void MainDialog::OnShiftKey(bool down) {
  if (down && !m_hidden) {
    m_shiftDown = 1;
    m_view.SetAboutEntry(kHiddenEntryLabel);
  } else if (!down) {
    m_shiftDown = 0;
    SetAboutEntryFromTable();
  }
}

void MainDialog::OnAboutChosen() {
  if (m_shiftDown) {
    m_shiftDown = 0;
    SetAboutEntryFromTable();
    m_view.RunHiddenAnimDialog();
  } else {
    m_view.RunAboutBox();
  }
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

void MainDialog::SetAboutEntryFromTable() {
  const std::string about = LoadResourceString(IDS_ABOUTBOX);
  if (!about.empty()) m_view.SetAboutEntry(about);
}
