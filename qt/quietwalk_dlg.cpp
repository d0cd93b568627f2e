#include "qt/quietwalk_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPoint>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <algorithm>

#include "qt/about_dlg.h"
#include "qt/dialog_builder.h"
#include "qt/hidden_anim_dlg.h"
#include "qt/message_box.h"
#include "qt/qt_text.h"
#include "qt/system_menu.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

// The result a dialog holds while it has not been ended: no code the program
// ends a dialog with.
constexpr int kNotEnded = -0x7FFFFFFF;

// The virtual key of the Shift keys, as the dialog's behaviour knows them.
constexpr int kVkShift = 16;

// How often the run's display is redrawn at most: a screen's frame.
constexpr int kFrameMilliseconds = 16;

// Posted to wake the UI thread for the run's worker.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A caption, a window menu and a close box; no minimise or maximise box and
// no frame to resize, like a modal frame. Qt::Window rather than Qt::Dialog:
// the dialog is the program's main window and has its own task bar entry.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Space with Alt held belongs to the window menu: a focused button must not
// take it as a press.
bool IsAltSpace(const QEvent& event) {
  if (event.type() != QEvent::KeyPress && event.type() != QEvent::KeyRelease) return false;
  const auto& key = static_cast<const QKeyEvent&>(event);
  return key.key() == Qt::Key_Space && key.modifiers().testFlag(Qt::AltModifier);
}

// What a disabled window would not be given.
bool IsUserInput(const QEvent& event) {
  switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: return true;
    default: return false;
  }
}

// The font of a control that was never given one: the system's default, not
// the dialog's.
QFont SystemDefaultFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setResolveMask(QFont::AllPropertiesResolved);
  return font;
}

}  // namespace

CQuietwalkDlg::CQuietwalkDlg(QWidget* parent, MainDialog::Hooks hooks)
    : QDialog(parent, kWindowFlags), m_hIcon(LoadResourceIcon(IDR_MAINFRAME)), m_dialog(*this, std::move(hooks)) {
  m_nextFrame.setSingleShot(true);
  m_nextFrame.setInterval(kFrameMilliseconds);
  connect(&m_nextFrame, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
}

CQuietwalkDlg::~CQuietwalkDlg() { m_dialog.Teardown(); }

int CQuietwalkDlg::DoModal() {
  if (!GetSystemMenu()) CreateFromTemplate();
  setResult(kNotEnded);
  OnInitDialog();
  if (result() != kNotEnded) return result();
  // Events for other windows (an open menu, a message box, the About box)
  // never reach PreTranslateMessage: the filter passes on only this dialog's.
  qApp->installEventFilter(this);
  const int code = exec();
  qApp->removeEventFilter(this);
  return code;
}

void CQuietwalkDlg::EndDialog(int code) { done(code); }

QWidget* CQuietwalkDlg::GetDlgItem(int id) const { return FindDialogItem(*this, id); }

SystemMenu* CQuietwalkDlg::GetSystemMenu() const {
  return findChild<SystemMenu*>(QString(), Qt::FindDirectChildrenOnly);
}

bool CQuietwalkDlg::OnInitDialog() { return m_dialog.OnInitDialog(); }

void CQuietwalkDlg::OnOK() { m_dialog.OnOK(); }

void CQuietwalkDlg::OnCancel() { m_dialog.OnCancel(); }

bool CQuietwalkDlg::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return QDialog::eventFilter(watched, event);
  const QWidget* window = static_cast<QWidget*>(watched)->window();
  // Shift let go while the window menu is up still decides which box its
  // About entry opens.
  if (window == this || (window == GetSystemMenu() && window != nullptr)) PreTranslateMessage(event);
  if (window == this && (m_inputBlocked ? IsUserInput(*event) : IsAltSpace(*event))) return true;
  return QDialog::eventFilter(watched, event);
}

bool CQuietwalkDlg::PreTranslateMessage(QEvent* event) {
  const bool keyDown = event->type() == QEvent::KeyPress;
  if (!keyDown && event->type() != QEvent::KeyRelease) return false;
  if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Shift) m_dialog.PreTranslateKey(keyDown, kVkShift);
  return false;
}

void CQuietwalkDlg::OnSysCommand(unsigned command, long /*parameter*/) {
  if (m_dialog.OnSysCommand(command)) return;
  if (command == kScClose) close();
}

void CQuietwalkDlg::customEvent(QEvent* event) {
  if (event->type() == kWakeEvent) {
    m_dialog.ServeWorker();
    return;
  }
  QDialog::customEvent(event);
}

void CQuietwalkDlg::reject() { OnCancel(); }

void CQuietwalkDlg::closeEvent(QCloseEvent* event) {
  // During the run only the worker ends the dialog.
  if (m_inputBlocked) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void CQuietwalkDlg::contextMenuEvent(QContextMenuEvent* event) {
  OpenSystemMenu(event->globalPos());
  event->accept();
}

void CQuietwalkDlg::CreateFromTemplate() {
  CreateDialogFromTemplate(*this, MainDialogTemplate());
  new SystemMenu(this);
  // Shift may be down already: it is how the About entry's other box is
  // reached. The Menu key and Shift+F10 are the keyboard's ways to a context
  // menu, which not every platform plugin turns into one.
  auto* openMenu = new QShortcut(this);
  openMenu->setKeys({QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_Space),
                     QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
  connect(openMenu, &QShortcut::activated, this, [this] { OpenSystemMenu(mapToGlobal(QPoint(0, 0))); });

  connect(qobject_cast<QPushButton*>(GetDlgItem(kIdOk)), &QPushButton::clicked, this, &CQuietwalkDlg::OnOK);
  for (int id : {IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) {
    connect(qobject_cast<QRadioButton*>(GetDlgItem(id)), &QRadioButton::clicked, this,
            [this, id] { m_dialog.OnRadioClicked(id); });
  }
  connect(this, &QDialog::finished, this, [this] { m_dialog.OnDialogEnded(); });
}

void CQuietwalkDlg::OpenSystemMenu(const QPoint& globalPosition) {
  SystemMenu* menu = GetSystemMenu();
  if (!menu || m_inputBlocked) return;
  if (const unsigned command = menu->Track(globalPosition)) OnSysCommand(command, 0);
}

// --- MainDialogView

UiThreadHooks CQuietwalkDlg::WorkerHooks() {
  // Neither touches the dialog beyond its QObject: the worker calls them
  // while the dialog's destructor waits for it.
  QObject* receiver = this;
  return {[receiver] { QCoreApplication::postEvent(receiver, new QEvent(kWakeEvent)); }, LoadResourceString};
}

void CQuietwalkDlg::PumpUiEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void CQuietwalkDlg::ShowFile(const std::string& title, const std::string& label, std::optional<int> position) {
  // Files come faster than a screen shows them, and the worker waits while
  // the window repaints: the window is drawn once a frame, in its latest
  // state, rather than once a file.
  if (!m_nextFrame.isActive()) {
    setUpdatesEnabled(false);
    m_nextFrame.start();
  }
  setWindowTitle(QStringFromAnsi(title));
  m_status.setText(QStringFromAnsi(label));
  // A Windows progress bar takes a position outside its range as its nearest
  // end; QProgressBar would ignore it.
  if (position) m_progress.setValue(std::clamp(*position, m_progress.minimum(), m_progress.maximum()));
}

void CQuietwalkDlg::ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) {
  AppMessageBox(ownedByDialog ? this : nullptr, text, icon);
}

std::string CQuietwalkDlg::LoadStringA(int id) { return LoadResourceString(id); }

void CQuietwalkDlg::HideWindow() { hide(); }

bool CQuietwalkDlg::IsWindowVisible() { return isVisible(); }

void CQuietwalkDlg::EnableWindow(bool enable) {
  // Not setEnabled: that would draw every control disabled, where a disabled
  // dialog on Windows only stops taking input and keeps its look.
  m_inputBlocked = !enable;
}

void CQuietwalkDlg::SetIcons() { setWindowIcon(m_hIcon); }

bool CQuietwalkDlg::HasSystemMenu() { return GetSystemMenu() != nullptr; }

void CQuietwalkDlg::AppendSystemMenuSeparator() { GetSystemMenu()->AppendSeparator(); }

void CQuietwalkDlg::AppendSystemMenuItem(unsigned command, const std::string& text) {
  GetSystemMenu()->AppendString(command, QStringFromAnsi(text));
}

void CQuietwalkDlg::ModifySystemMenuItem(unsigned command, const std::string& text) {
  GetSystemMenu()->ModifyString(command, QStringFromAnsi(text));
}

void CQuietwalkDlg::SetItemText(int id, const std::string& text) {
  if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) button->setText(QStringFromAnsi(text));
}

void CQuietwalkDlg::CheckRadioButton(int /*firstId*/, int /*lastId*/, int checkedId) {
  // The radios are auto-exclusive: checking one clears its siblings.
  if (auto* radio = qobject_cast<QRadioButton*>(GetDlgItem(checkedId))) radio->setChecked(true);
}

void CQuietwalkDlg::SetItemNullFont(int id) {
  if (QWidget* control = GetDlgItem(id)) control->setFont(SystemDefaultFont());
}

void CQuietwalkDlg::EnableItem(int id, bool enable) {
  if (QWidget* control = GetDlgItem(id)) control->setEnabled(enable);
}

void CQuietwalkDlg::CreateAnimation(int id, int x, int y) {
  // No size of its own: the control takes the size of the clip it opens.
  m_animate.Create(AnimationControl::kVisible | AnimationControl::kTransparent | AnimationControl::kAutoPlay,
                   QRect(x, y, 0, 0), this, id);
  SetDialogItemId(m_animate, id);
}

void CQuietwalkDlg::OpenAnimationClip(int clipId) { m_animate.Open(clipId); }

void CQuietwalkDlg::CreateProgress(int id, const PixelRect& rect, int low, int high) {
  m_progress.setParent(this);
  m_progress.setGeometry(ToQRect(rect));
  SetDialogItemId(m_progress, id);
  m_progress.setRange(low, high);
  m_progress.setTextVisible(false);
  m_progress.show();
}

void CQuietwalkDlg::CreateStatus(int id, const PixelRect& rect) {
  m_status.setParent(this);
  m_status.setGeometry(ToQRect(rect));
  SetDialogItemId(m_status, id);
  m_status.setTextFormat(Qt::PlainText);
  m_status.setWordWrap(true);
  m_status.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_status.setFont(SystemDefaultFont());
  m_status.clear();
  m_status.show();
}

void CQuietwalkDlg::RunAboutBox() {
  CAboutDlg about(this);
  about.DoModal();
}

void CQuietwalkDlg::RunHiddenAnimDialog() {
  CHiddenAnimDlg hidden(this);
  hidden.DoModal();
}
