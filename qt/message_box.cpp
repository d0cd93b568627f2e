#include "qt/message_box.h"

#include <QMessageBox>

#include "platform/paths/program_name.h"
#include "qt/qt_text.h"

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kStop: return QMessageBox::Critical;
    case MessageIcon::kInformation: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

// A box wraps its text at spaces only, so a long path would widen it past
// the screen and be cut: an invisible break after each backslash lets it
// wrap the path there instead, and show it whole.
QString BreakablePaths(QString text) { return text.replace(QLatin1Char('\\'), QStringLiteral("\\\u200B")); }

class QtMessageBoxPresenter final : public MessageBoxPresenter {
 public:
  void Show(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon) override {
    QMessageBox box(BoxIcon(icon), QStringFromAnsi(caption), BreakablePaths(QStringFromAnsi(text)), QMessageBox::Ok,
                    owner);
    // Paths may hold '<' and '&'; the text is never markup.
    box.setTextFormat(Qt::PlainText);
    // A child of a disabled owner starts disabled, but the box must still take
    // the user's answer, as a Windows box does over a disabled owner.
    box.setEnabled(true);
    box.exec();
  }
};

MessageBoxPresenter*& InstalledPresenter() {
  static MessageBoxPresenter* installed = nullptr;
  return installed;
}

}  // namespace

MessageBoxPresenter& CurrentMessageBoxPresenter() {
  static QtMessageBoxPresenter qtPresenter;
  MessageBoxPresenter* installed = InstalledPresenter();
  return installed ? *installed : qtPresenter;
}

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  MessageBoxPresenter* previous = InstalledPresenter();
  InstalledPresenter() = presenter;
  return previous;
}

void AppMessageBox(QWidget* owner, const std::string& text, MessageIcon icon) {
  CurrentMessageBoxPresenter().Show(owner, text, platform::ProgramName(), icon);
}
