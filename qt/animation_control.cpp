#include "qt/animation_control.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFile>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>
#include <utility>

namespace {

// Timers count whole milliseconds: the nearest one, and at least one.
int TimerInterval(std::uint32_t microSecPerFrame) {
  return static_cast<int>(std::clamp<std::uint64_t>((std::uint64_t{microSecPerFrame} + 500) / 1000, 1, INT_MAX));
}

// Tells assistive technology what the control is: an animation, not a bare
// pane.
class AccessibleAnimation final : public QAccessibleWidget {
 public:
  explicit AccessibleAnimation(QWidget* control) : QAccessibleWidget(control, QAccessible::Animation) {}
};

QAccessibleInterface* AccessibleAnimationFactory(const QString& className, QObject* object) {
  if (className != QLatin1String(AnimationControl::staticMetaObject.className()) || !object->isWidgetType())
    return nullptr;
  return new AccessibleAnimation(static_cast<QWidget*>(object));
}

}  // namespace

AnimationControl::AnimationControl() {
  static const bool installed = [] {
    QAccessible::installFactory(AccessibleAnimationFactory);
    return true;
  }();
  static_cast<void>(installed);
  m_timer.setTimerType(Qt::PreciseTimer);
  connect(&m_timer, &QTimer::timeout, this, &AnimationControl::OnTimer);
}

AnimationControl::~AnimationControl() = default;

bool AnimationControl::Create(unsigned style, const QRect& rect, QWidget* parent, int id) {
  if (m_created || parent == nullptr) {
    return false;
  }
  m_created = true;
  m_style = style;
  m_id = id;
  setParent(parent);
  setGeometry(rect);
  if (m_player && (m_style & kCenter) == 0) {
    resize(ClipSize());
  }
  BuildColourTable();
  BuildImage();
  setVisible((style & kVisible) != 0);
  return true;
}

bool AnimationControl::Open(int clipId) { return Open(QStringLiteral(":/clips/%1").arg(clipId)); }

bool AnimationControl::Open(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxClipFileSize) {
    Close();
    return false;
  }
  // A read that stops short (an I/O error) leaves a clip that fails to parse.
  return OpenData(file.read(kMaxClipFileSize));
}

bool AnimationControl::OpenData(const QByteArray& bytes) {
  Close();
  auto clip = ParseAviClip(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
  if (!clip) {
    return false;
  }
  m_player.emplace(std::move(*clip));
  m_keyIndex = m_player->Pixels().front();
  BuildColourTable();
  BuildImage();
  if ((m_style & kCenter) == 0) {
    resize(ClipSize());
  }
  if ((m_style & kAutoPlay) != 0) {
    Play();
  }
  return true;
}

void AnimationControl::Close() {
  m_timer.stop();
  m_player.reset();
  m_colours.clear();
  m_image = QImage();
  update();
}

bool AnimationControl::Play() {
  if (!m_player) {
    return false;
  }
  m_timer.start(TimerInterval(m_player->Clip().microSecPerFrame));
  return true;
}

bool AnimationControl::Stop() {
  if (!m_player) {
    return false;
  }
  m_timer.stop();
  return true;
}

bool AnimationControl::Seek(int frame) {
  if (!m_player || !m_player->Seek(frame)) {
    return false;
  }
  m_timer.stop();
  BuildImage();
  update();
  return true;
}

int AnimationControl::FrameCount() const { return m_player ? m_player->FrameCount() : 0; }

int AnimationControl::FrameTime() const {
  return m_player ? static_cast<int>(std::min<std::uint32_t>(m_player->Clip().microSecPerFrame, INT_MAX)) : 0;
}

int AnimationControl::CurrentFrame() const { return m_player ? m_player->CurrentFrame() : 0; }

QSize AnimationControl::ClipSize() const {
  return m_player ? QSize(m_player->Clip().width, m_player->Clip().height) : QSize();
}

void AnimationControl::paintEvent(QPaintEvent* /*event*/) {
  if (m_image.isNull()) {
    return;
  }
  QPainter painter(this);
  QPoint at(0, 0);
  if ((m_style & kCenter) != 0) {
    at = QPoint((width() - m_image.width()) / 2, (height() - m_image.height()) / 2);
  }
  painter.drawImage(at, m_image);
}

void AnimationControl::changeEvent(QEvent* event) {
  // The transparent colour follows the parent's background.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
    BuildColourTable();
    BuildImage();
    update();
  }
  QWidget::changeEvent(event);
}

void AnimationControl::OnTimer() {
  if (!m_player) {
    m_timer.stop();
    return;
  }
  m_player->Advance();
  BuildImage();
  update();
}

void AnimationControl::BuildColourTable() {
  m_colours.clear();
  if (!m_player) {
    return;
  }
  for (const ClipColour& colour : m_player->Clip().palette) {
    m_colours.push_back(qRgb(colour.red, colour.green, colour.blue));
  }
  if ((m_style & kTransparent) != 0) {
    // Every entry of the key colour, in case the palette repeats it.
    const QRgb key = m_colours[m_keyIndex];
    const QRgb background = palette().color(QPalette::Window).rgb();
    std::replace(m_colours.begin(), m_colours.end(), key, background);
  }
}

void AnimationControl::BuildImage() {
  if (!m_player) {
    m_image = QImage();
    return;
  }
  const AviClip& clip = m_player->Clip();
  if (m_image.size() != ClipSize()) {
    m_image = QImage(clip.width, clip.height, QImage::Format_Indexed8);
  }
  m_image.setColorTable(m_colours);
  const std::uint8_t* row = m_player->Pixels().data();
  for (int y = 0; y < clip.height; ++y, row += clip.width) {
    std::memcpy(m_image.scanLine(y), row, static_cast<std::size_t>(clip.width));
  }
}
