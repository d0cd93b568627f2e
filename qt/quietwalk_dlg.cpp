#include "qt/quietwalk_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPoint>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <algorithm>
#include <cassert>
#include <functional>
#include <memory>
#include <utility>

#include "qt/about_dlg.h"
#include "qt/dialog_builder.h"
#include "qt/hidden_anim_dlg.h"
#include "qt/message_box.h"
#include "qt/qt_text.h"
#include "qt/system_menu.h"
#include "run/batch_run.h"
#include "ui/resource.h"
#include "ui/string_table.h"

namespace {

// The largest count the status label is laid out for: "Writting File k of
// N" stays on one line up to it.
constexpr int kLargestCountShown = 999999;

// The result a dialog holds while it has not been ended: no code the program
// ends a dialog with.
constexpr int kNotEnded = -0x7FFFFFFF;

// Posted to wake the UI thread for the run's worker.
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Receives the worker's wake-ups on the UI thread. An object of its own, and
// no widget, so that neither it nor the dialog's key filter looks into an
// event the worker made: Qt's own locks, which order the two, are unseen by
// the race checker.
class WakeReceiver final : public QObject {
 public:
  explicit WakeReceiver(std::function<void()> onWake) : m_onWake(std::move(onWake)) {}

 protected:
  void customEvent(QEvent* /*wake*/) override { m_onWake(); }

 private:
  std::function<void()> m_onWake;
};

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

// The font of a control that was never given one: the desktop's default, not
// the dialog's.
QFont SystemDefaultFont() {
  QFont font = QApplication::font();
  font.setResolveMask(QFont::AllPropertiesResolved);
  return font;
}

const DialogItemTemplate& FindTemplateItem(int id) {
  for (const DialogItemTemplate& item : MainDialogTemplate().items)
    if (item.id == id) return item;
  assert(!"the control is in the template");
  return MainDialogTemplate().items.front();
}

// The run's turtle, moved with the dialog as it grows.
QPoint AnimationPlace(DialogBaseUnits base) {
  const PixelRect place = ScaleTemplatePixels({kAnimationX, kAnimationY, 0, 0}, base);
  return {place.x, place.y};
}

// The status label where the Windows program puts it, but on to the OK
// button (it sits below the turtle), so that the label stays on one line up
// to the largest count.
QRect StatusPlace(DialogBaseUnits base) {
  const PixelRect start = ScaleTemplatePixels(kStatusRect, base);
  const int gap = ScaleTemplatePixels(kProgressRect, base).x;
  const int right = MapDialogRect(FindTemplateItem(kIdOk).rect, base).x - gap;
  return QRect(start.x, start.y, right - start.x, start.cy);
}

}  // namespace

CQuietwalkDlg::CQuietwalkDlg(QWidget* parent, MainDialog::Hooks hooks)
    : QDialog(parent, kWindowFlags),
      m_hIcon(LoadResourceIcon(IDR_MAINFRAME)),
      m_wakeReceiver(std::make_unique<WakeReceiver>([this] { m_dialog.ServeWorker(); })),
      // Touches only the receiver, which outlives the worker: the worker
      // calls it while the dialog's destructor waits for it.
      m_dialog(
          *this, [receiver = m_wakeReceiver.get()] { QCoreApplication::postEvent(receiver, new QEvent(kWakeEvent)); },
          std::move(hooks)) {}

CQuietwalkDlg::~CQuietwalkDlg() { m_dialog.Teardown(); }

int CQuietwalkDlg::DoModal() {
  assert(!GetSystemMenu() && "a dialog is run once");
  CreateFromTemplate();
  setResult(kNotEnded);
  m_dialog.OnInitDialog();
  if (result() != kNotEnded) return result();
  // Events for other windows (an open menu, a message box, the About box)
  // never reach the key filter: it passes on only this dialog's.
  qApp->installEventFilter(this);
  const int code = exec();
  qApp->removeEventFilter(this);
  return code;
}

QWidget* CQuietwalkDlg::GetDlgItem(int id) const { return FindDialogItem(*this, id); }

SystemMenu* CQuietwalkDlg::GetSystemMenu() const {
  return findChild<SystemMenu*>(QString(), Qt::FindDirectChildrenOnly);
}

bool CQuietwalkDlg::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return QDialog::eventFilter(watched, event);
  const QWidget* window = static_cast<QWidget*>(watched)->window();
  // Shift let go while the window menu is up still decides which box its
  // About entry opens.
  if ((window == this || (window == GetSystemMenu() && window != nullptr)) &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Shift) {
    m_dialog.OnShiftKey(event->type() == QEvent::KeyPress);
  }
  if (window == this && (m_inputBlocked ? IsUserInput(*event) : IsAltSpace(*event))) return true;
  return QDialog::eventFilter(watched, event);
}

void CQuietwalkDlg::OnSysCommand(unsigned command) {
  if (command == IDM_ABOUTBOX) m_dialog.OnAboutChosen();
  if (command == kScClose) close();
}

void CQuietwalkDlg::reject() { m_dialog.OnCancel(); }

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
  m_baseUnits = CreateDialogFromTemplate(*this, MainDialogTemplate());
  new SystemMenu(this);
  // Shift may be down already: it is how the About entry's other box is
  // reached. The Menu key and Shift+F10 are the keyboard's ways to a context
  // menu, which not every platform plugin turns into one.
  auto* openMenu = new QShortcut(this);
  openMenu->setKeys({QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_Space),
                     QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
  connect(openMenu, &QShortcut::activated, this, [this] { OpenSystemMenu(mapToGlobal(QPoint(0, 0))); });

  connect(qobject_cast<QPushButton*>(GetDlgItem(kIdOk)), &QPushButton::clicked, this, [this] { m_dialog.OnOK(); });
  for (int id : {IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) {
    connect(qobject_cast<QRadioButton*>(GetDlgItem(id)), &QRadioButton::clicked, this,
            [this, id] { m_dialog.OnRadioClicked(id); });
  }
  connect(this, &QDialog::finished, this, [this] { m_dialog.OnDialogEnded(); });
}

void CQuietwalkDlg::OpenSystemMenu(const QPoint& globalPosition) {
  SystemMenu* menu = GetSystemMenu();
  if (!menu || m_inputBlocked) return;
  if (const unsigned command = menu->Track(globalPosition)) OnSysCommand(command);
}

// --- MainDialogView

void CQuietwalkDlg::PumpUiEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void CQuietwalkDlg::ShowRunState(const RunState& state) {
  setWindowTitle(QStringFromAnsi(state.title));
  m_status.setText(QStringFromAnsi(state.label));
  // A Windows progress bar takes a position outside its range as its nearest
  // end; QProgressBar would ignore it.
  if (state.position) m_progress.setValue(std::clamp(*state.position, m_progress.minimum(), m_progress.maximum()));
}

void CQuietwalkDlg::EndDialog(int code) { done(code); }

void CQuietwalkDlg::ShowMessage(const std::string& text, MessageIcon icon, bool ownedByDialog) {
  // The box holds this thread until it is answered: what the dialog shows
  // behind it is painted first.
  if (isVisible()) repaint();
  AppMessageBox(ownedByDialog ? this : nullptr, text, icon);
}

void CQuietwalkDlg::ShowChoices(const std::string& bumpsBackText, const std::string& noBumpsText) {
  setWindowIcon(m_hIcon);
  auto* bumpsBack = qobject_cast<QRadioButton*>(GetDlgItem(IDC_RADIO_BUMPS_BACK));
  auto* noBumps = qobject_cast<QRadioButton*>(GetDlgItem(IDC_RADIO_NO_BUMPS));
  bumpsBack->setText(QStringFromAnsi(bumpsBackText));
  noBumps->setText(QStringFromAnsi(noBumpsText));
  // The radios are auto-exclusive: checking one clears its sibling.
  noBumps->setChecked(true);
  noBumps->setFont(SystemDefaultFont());
  FitToTexts();
  // No size of its own: the control takes the size of the clip it opens.
  m_animate.Create(AnimationControl::kVisible | AnimationControl::kTransparent | AnimationControl::kAutoPlay,
                   QRect(AnimationPlace(m_baseUnits), QSize()), this, IDC_ANIMATE);
  SetDialogItemId(m_animate, IDC_ANIMATE);
  m_animate.setAccessibleName(QStringLiteral("Turtle"));
  m_animate.setAccessibleDescription(QStringLiteral("Walks while the world files are written"));
}

void CQuietwalkDlg::FitToTexts() {
  // Radio 1002 is in the desktop's font, whatever its size: it must end
  // before the turtle that plays beside it during the run.
  const QString widestLabel = QStringFromAnsi(
      FormatNumbers(LoadResourceString(IDS_STATUS_FILE_K_OF_N), {kLargestCountShown, kLargestCountShown}));
  m_baseUnits = FitDialogToContents(
      *this, MainDialogTemplate(), FontBaseUnits(font()),
      {{TextNeeds(*GetDlgItem(IDC_RADIO_NO_BUMPS)),
        [](DialogBaseUnits base) {
          const PixelRect radio = MapDialogRect(FindTemplateItem(IDC_RADIO_NO_BUMPS).rect, base);
          return QSize(AnimationPlace(base).x() - radio.x, radio.cy);
        }},
       {TextNeeds(font(), widestLabel), [](DialogBaseUnits base) { return StatusPlace(base).size(); }}});
}

void CQuietwalkDlg::SetAboutEntry(const std::string& label) {
  SystemMenu* menu = GetSystemMenu();
  if (!menu || menu->ModifyString(IDM_ABOUTBOX, QStringFromAnsi(label))) return;
  menu->AppendSeparator();
  menu->AppendString(IDM_ABOUTBOX, QStringFromAnsi(label));
}

void CQuietwalkDlg::EnterRunMode() {
  for (int id : {kIdOk, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS}) GetDlgItem(id)->setEnabled(false);
  m_animate.Open(IDR_AVI_TURTLE);

  m_progress.setParent(this);
  m_progress.setGeometry(ToQRect(ScaleTemplatePixels(kProgressRect, m_baseUnits)));
  SetDialogItemId(m_progress, IDC_PROGRESS);
  m_progress.setRange(kProgressLow, kProgressHigh);
  m_progress.setTextVisible(false);
  // Its value is told as well: the share of the files handled.
  m_progress.setAccessibleName(QStringLiteral("Files handled"));
  m_progress.show();

  // In the dialog's font, as the Windows program gives it, on one line.
  m_status.setParent(this);
  m_status.setGeometry(StatusPlace(m_baseUnits));
  SetDialogItemId(m_status, IDC_STATUS);
  m_status.setTextFormat(Qt::PlainText);
  m_status.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_status.show();

  // Not setEnabled: that would draw every control disabled, where a disabled
  // dialog on Windows only stops taking input and keeps its look.
  m_inputBlocked = true;
}

void CQuietwalkDlg::Hide() { hide(); }

void CQuietwalkDlg::RunAboutBox() { CAboutDlg(this).DoModal(); }

void CQuietwalkDlg::RunHiddenAnimDialog() { CHiddenAnimDlg(this).DoModal(); }
