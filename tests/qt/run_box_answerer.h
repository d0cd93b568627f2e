#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace testing_support {

// What a message box looked like when it was answered.
struct AnsweredBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* owner = nullptr;
  bool enabled = false;
};

// Answers every message box that comes up on the UI thread by clicking its OK
// button, as a user would, and keeps what each one showed. A box whose OK is
// disabled stays open (clicking does nothing), so a test that needs it
// answered does not end.
class BoxAnswerer {
 public:
  // `beforeAnswer` runs with each box still open, before it is clicked.
  explicit BoxAnswerer(std::function<void(const AnsweredBox&)> beforeAnswer = {})
      : m_beforeAnswer(std::move(beforeAnswer)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(5);
  }

  const std::vector<AnsweredBox>& boxes() const { return m_boxes; }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box == m_lastClicked) return;
    AnsweredBox seen{box->text(), box->windowTitle(), box->icon(), box->parentWidget(), box->isEnabled()};
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    if (!ok || !ok->isEnabled() || !box->isEnabled()) return;
    if (m_beforeAnswer) m_beforeAnswer(seen);
    m_boxes.push_back(seen);
    m_lastClicked = box;
    ok->click();
  }

  std::function<void(const AnsweredBox&)> m_beforeAnswer;
  std::vector<AnsweredBox> m_boxes;
  QPointer<QMessageBox> m_lastClicked;
  QTimer m_timer;
};

}  // namespace testing_support
