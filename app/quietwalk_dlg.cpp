#include "app/quietwalk_dlg.h"

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

#include "app/dialog_template.h"
#include "app/message_box.h"
#include "app/qt_text.h"
#include "app/resource.h"
#include "app/run_window_qt.h"
#include "app/string_table.h"
#include "app/system_menu.h"
#include "extras/about_dlg.h"
#include "extras/hidden_anim_dlg.h"
#include "locate/browser_directory.h"
#include "run/batch_run.h"

namespace {

// The result a dialog holds while it has not been ended: no code the program
// ends a dialog with.
constexpr int kNotEnded = -0x7FFFFFFF;

// Where the run's animation sits, in client pixels.
const QPoint kAnimationPosition(570, 5);

// The low four bits of a window command are the system's own.
constexpr unsigned kSysCommandMask = 0xFFF0;

// A caption, a window menu and a close box; no minimise or maximise box and
// no frame to resize, like a modal frame. Qt::Window rather than Qt::Dialog:
// the dialog is the program's main window and has its own task bar entry.
constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// A Windows rectangle (right and bottom just outside it) as a QRect.
QRect WindowsRect(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left, bottom - top);
}

// The font of a control that was never given one: the system's default, not
// the dialog's.
QFont SystemDefaultFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setResolveMask(QFont::AllPropertiesResolved);
  return font;
}

QRadioButton* Radio(const CQuietwalkDlg& dialog, int id) {
  return qobject_cast<QRadioButton*>(dialog.GetDlgItem(id));
}

}  // namespace

CQuietwalkDlg::CQuietwalkDlg(QWidget* parent)
    : QDialog(parent, kWindowFlags),
      m_worldDir(),
      m_restoreBumps(0),
      m_worker(),
      m_hIcon(LoadResourceIcon(IDR_MAINFRAME)),
      m_shiftDown(0),
      m_animate(),
      m_progress(),
      m_status(),
      m_files() {}

CQuietwalkDlg::~CQuietwalkDlg() {
  // The worker reads this object until it returns, and may be waiting for a
  // message box that only this thread can show.
  if (m_worker) m_worker->WaitForWorker();
  m_files.clear();
  m_worldDir.clear();
}

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

bool CQuietwalkDlg::OnInitDialog() {
  m_worldDir = GetBrowserDirectory() + "\\world";
  CollectWorldFiles(m_worldDir, m_files);

  if (m_files.empty()) {
    AppMessageBox(nullptr, LoadResourceString(IDS_NO_WORLD_FILES), platform::MessageIcon::kWarning);
    hide();
    OnCancel();
  }

  if (SystemMenu* menu = GetSystemMenu()) {
    const std::string about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
      menu->AppendSeparator();
      menu->AppendString(IDM_ABOUTBOX, QStringFromAnsi(about));
    }
  }

  setWindowIcon(m_hIcon);

  QRadioButton* bumpsBack = Radio(*this, IDC_RADIO_BUMPS_BACK);
  QRadioButton* noBumps = Radio(*this, IDC_RADIO_NO_BUMPS);
  bumpsBack->setText(QStringFromAnsi(LoadResourceString(IDS_RADIO_BUMPS_BACK)));
  noBumps->setText(QStringFromAnsi(LoadResourceString(IDS_RADIO_NO_BUMPS)));

  noBumps->setChecked(true);
  m_restoreBumps = 0;

  // Told to use no font of its own, the control falls back to the system's
  // default font instead of the dialog's.
  noBumps->setFont(SystemDefaultFont());

  CreateAnimation();
  return true;
}

void CQuietwalkDlg::OnOK() {
  // One run per program: the button is gone once the run has started.
  if (m_worker) return;

  for (int id : {kIdOk, IDC_RADIO_BUMPS_BACK, IDC_RADIO_NO_BUMPS})
    if (QWidget* control = GetDlgItem(id)) control->setEnabled(false);

  m_animate.Open(IDR_AVI_TURTLE);

  m_progress.setParent(this);
  m_progress.setGeometry(WindowsRect(5, 90, 390, 110));
  SetDialogItemId(m_progress, IDC_PROGRESS);
  m_progress.setRange(1, 100);
  m_progress.setTextVisible(false);
  m_progress.show();

  m_status.setParent(this);
  m_status.setGeometry(WindowsRect(395, 90, 550, 110));
  SetDialogItemId(m_status, IDC_STATUS);
  m_status.setTextFormat(Qt::PlainText);
  m_status.setWordWrap(true);
  m_status.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_status.setFont(SystemDefaultFont());
  m_status.clear();
  m_status.show();

  // Neither used nor closed while the run lasts: only the worker ends it.
  setEnabled(false);

  m_worker = std::make_unique<RunWindowQt>(this, &m_status, &m_progress);
  m_worker->StartWorker(
      [this](platform::RunWindow& window) { WriteFilesThread(m_files, m_restoreBumps, window); });
}

void CQuietwalkDlg::OnCancel() { EndDialog(kIdCancel); }

bool CQuietwalkDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this)
    PreTranslateMessage(event);
  return QDialog::eventFilter(watched, event);
}

bool CQuietwalkDlg::PreTranslateMessage(QEvent* event) {
  const bool keyDown = event->type() == QEvent::KeyPress;
  if (!keyDown && event->type() != QEvent::KeyRelease) return false;
  if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Shift) return false;

  if (keyDown && isVisible()) {
    m_shiftDown = 1;
    if (SystemMenu* menu = GetSystemMenu()) menu->ModifyString(IDM_ABOUTBOX, QStringLiteral("??"));
  } else if (!keyDown) {
    m_shiftDown = 0;
    RestoreAboutLabel();
  }
  return false;
}

void CQuietwalkDlg::RestoreAboutLabel() {
  SystemMenu* menu = GetSystemMenu();
  const std::string about = LoadResourceString(IDS_ABOUTBOX);
  if (menu && !about.empty()) menu->ModifyString(IDM_ABOUTBOX, QStringFromAnsi(about));
}

void CQuietwalkDlg::OnSysCommand(unsigned command, long /*parameter*/) {
  switch (command & kSysCommandMask) {
    case IDM_ABOUTBOX:
      if (m_shiftDown) {
        m_shiftDown = 0;
        RestoreAboutLabel();
        CHiddenAnimDlg hidden(this);
        hidden.DoModal();
      } else {
        CAboutDlg about(this);
        about.DoModal();
      }
      break;
    case kScClose:
      close();
      break;
    default:
      break;
  }
}

void CQuietwalkDlg::reject() { OnCancel(); }

void CQuietwalkDlg::closeEvent(QCloseEvent* event) {
  // A disabled window takes no commands: during the run only the worker ends
  // the dialog.
  if (!isEnabled()) {
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
  CreateDialogFromTemplate(*this, kMainDialogTemplate);
  new SystemMenu(this);
  auto* openMenu = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
  connect(openMenu, &QShortcut::activated, this, [this] { OpenSystemMenu(mapToGlobal(QPoint(0, 0))); });

  connect(qobject_cast<QPushButton*>(GetDlgItem(kIdOk)), &QPushButton::clicked, this, &CQuietwalkDlg::OnOK);
  connect(Radio(*this, IDC_RADIO_BUMPS_BACK), &QRadioButton::clicked, this,
          &CQuietwalkDlg::OnRadioBumpsBack);
  connect(Radio(*this, IDC_RADIO_NO_BUMPS), &QRadioButton::clicked, this, &CQuietwalkDlg::OnRadioNoBumps);
}

void CQuietwalkDlg::OnRadioBumpsBack() { m_restoreBumps = 1; }

void CQuietwalkDlg::OnRadioNoBumps() { m_restoreBumps = 0; }

void CQuietwalkDlg::OpenSystemMenu(const QPoint& globalPosition) {
  SystemMenu* menu = GetSystemMenu();
  if (!menu || !isEnabled()) return;
  if (const unsigned command = menu->Track(globalPosition)) OnSysCommand(command, 0);
}

void CQuietwalkDlg::CreateAnimation() {
  // No size of its own: the control takes the size of the clip it opens.
  m_animate.Create(AnimationControl::kVisible | AnimationControl::kTransparent | AnimationControl::kAutoPlay,
                   QRect(kAnimationPosition, QSize(0, 0)), this, IDC_ANIMATE);
  SetDialogItemId(m_animate, IDC_ANIMATE);
}
