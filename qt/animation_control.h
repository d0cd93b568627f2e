#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

#include "clip/avi_clip.h"

class QEvent;
class QPaintEvent;

// Stands in for the platform's animation control: plays an AVI clip of
// 8-bit run-length-encoded frames (clip/avi_clip.h), from the program's
// resources or from a file, on a timer at the clip's own frame time,
// repeating. The clips are embedded from qt/assets.qrc under their resource
// numbers: ":/clips/134" (the turtle, IDR_AVI_TURTLE) and ":/clips/136" (the
// room, IDR_AVI_ROOM); the icons beside them as ":/icons/130" (the penguin,
// IDI_PENGUIN) and ":/icons/131" (the boy, IDI_BOY).
//
// Like the platform's control the object exists before its window: it is
// constructed bare and becomes a child window with Create.
class AnimationControl : public QWidget {
  Q_OBJECT

 public:
  // Create's style flags, with the values of the platform's ACS_* and
  // WS_VISIBLE.
  // Keeps the control's own size and centres the clip in it; without it the
  // control takes the size of each clip it opens.
  static constexpr unsigned kCenter = 0x0001;
  // Shows the clip's background colour, that of the top left pixel of its
  // first frame, in the parent's background colour instead.
  static constexpr unsigned kTransparent = 0x0002;
  // Plays, repeating, as soon as a clip is opened.
  static constexpr unsigned kAutoPlay = 0x0004;
  static constexpr unsigned kVisible = 0x10000000;

  // Files larger than this are not read.
  static constexpr qint64 kMaxClipFileSize = 64 * 1024 * 1024;

  AnimationControl();
  ~AnimationControl() override;

  // Makes this a child of `parent` at `rect` (pixels in the parent's client
  // area) known by control id `id`, shown when `style` has kVisible. False,
  // changing nothing, when it was created before or `parent` is null.
  bool Create(unsigned style, const QRect& rect, QWidget* parent, int id);

  // Opens resource clip `clipId` (":/clips/<clipId>"), as Open(QString).
  bool Open(int clipId);
  // Opens the clip in the file or resource at `path`, replacing the one
  // before; shows its first frame and, with kAutoPlay, plays it. False when
  // it cannot be read or is not a clip we can play (ParseAviClip): the
  // control is then empty and shows nothing.
  bool Open(const QString& path);
  // The same for a clip already in memory.
  bool OpenData(const QByteArray& bytes);
  // Stops and empties the control.
  void Close();

  // Plays from the frame shown, repeating. False without a clip.
  bool Play();
  // Stops on the frame shown. False without a clip.
  bool Stop();
  // Stops and shows frame `frame`. False without a clip or out of range.
  bool Seek(int frame);

  bool IsPlaying() const { return m_timer.isActive(); }
  // 0 without a clip.
  int FrameCount() const;
  // Microseconds per frame, from the clip's main header; 0 without a clip.
  int FrameTime() const;
  // The frame shown; 0 without a clip.
  int CurrentFrame() const;
  // The clip's size in pixels; empty without a clip.
  QSize ClipSize() const;
  int GetDlgCtrlID() const { return m_id; }
  unsigned Style() const { return m_style; }

  // The frame shown as it is painted (with kTransparent, the background
  // already replaced); a null image without a clip.
  const QImage& CurrentImage() const { return m_image; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void OnTimer();
  void BuildColourTable();
  void BuildImage();

  QTimer m_timer;
  std::optional<ClipPlayer> m_player;
  QList<QRgb> m_colours;
  QImage m_image;
  // The palette index of the first frame's top left pixel.
  int m_keyIndex = 0;
  unsigned m_style = 0;
  int m_id = 0;
  bool m_created = false;
};
