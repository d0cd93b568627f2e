#include "qt/animation_control.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

#include "ui/resource.h"

namespace {

constexpr unsigned kMainStyle =
    AnimationControl::kVisible | AnimationControl::kTransparent | AnimationControl::kAutoPlay;
const QColor kMagenta(255, 0, 255);
const QColor kDialogColour(12, 34, 56);

// Stands in for the dialog: a window of its own background colour.
struct Parent {
  QWidget window;
  Parent() {
    window.resize(643, 117);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, kDialogColour);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
  }
  // What the window shows at `at`, the control painted over it.
  QColor Shown(QPoint at) { return window.grab().toImage().pixelColor(at); }
};

TEST(AnimationControl, MainDialogsControlTakesTheTurtlesSizeAndPlaysOnceOpened) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(kMainStyle, QRect(570, 5, 0, 0), &parent.window, IDC_ANIMATE));
  EXPECT_EQ(control.GetDlgCtrlID(), IDC_ANIMATE);
  EXPECT_EQ(control.parentWidget(), &parent.window);
  EXPECT_FALSE(control.IsPlaying());
  EXPECT_EQ(control.FrameCount(), 0);

  ASSERT_TRUE(control.Open(IDR_AVI_TURTLE));
  EXPECT_EQ(control.geometry(), QRect(570, 5, 70, 70));
  EXPECT_EQ(control.FrameCount(), 29);
  EXPECT_EQ(control.FrameTime(), 41667);
  EXPECT_TRUE(control.IsPlaying());
  EXPECT_TRUE(QTest::qWaitFor([&] { return control.CurrentFrame() > 0; }));
}

TEST(AnimationControl, HiddenDialogsClipIsTheRoom) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(AnimationControl::kVisible | AnimationControl::kAutoPlay, QRect(0, 0, 387, 290),
                             &parent.window, IDC_HIDDEN_ANIMATE));
  ASSERT_TRUE(control.Open(IDR_AVI_ROOM));
  EXPECT_EQ(control.size(), QSize(387, 290));
  EXPECT_EQ(control.ClipSize(), QSize(387, 290));
  EXPECT_EQ(control.FrameCount(), 159);
  EXPECT_EQ(control.FrameTime(), 41667);
  EXPECT_TRUE(control.IsPlaying());
}

TEST(AnimationControl, ShowsTheFrameItIsOn) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(AnimationControl::kVisible, QRect(0, 0, 1, 1), &parent.window, 1));
  ASSERT_TRUE(control.Open(IDR_AVI_TURTLE));
  EXPECT_FALSE(control.IsPlaying());
  // The turtle's eye is open on the first frame and shut on frame 17.
  EXPECT_EQ(parent.Shown({58, 25}), QColor(Qt::white));
  ASSERT_TRUE(control.Seek(17));
  EXPECT_EQ(control.CurrentFrame(), 17);
  EXPECT_NE(parent.Shown({58, 25}), QColor(Qt::white));
  ASSERT_TRUE(control.Seek(0));
  EXPECT_EQ(parent.Shown({58, 25}), QColor(Qt::white));
  EXPECT_FALSE(control.Seek(29));
  EXPECT_EQ(control.CurrentFrame(), 0);
}

TEST(AnimationControl, TransparentModeShowsTheMagentaInTheDialogsColour) {
  Parent parent;
  AnimationControl plain;
  AnimationControl transparent;
  ASSERT_TRUE(plain.Create(AnimationControl::kVisible, QRect(0, 0, 1, 1), &parent.window, 1));
  ASSERT_TRUE(transparent.Create(AnimationControl::kVisible | AnimationControl::kTransparent, QRect(100, 0, 1, 1),
                                 &parent.window, 2));
  ASSERT_TRUE(plain.Open(IDR_AVI_TURTLE));
  ASSERT_TRUE(transparent.Open(IDR_AVI_TURTLE));
  EXPECT_EQ(parent.Shown({1, 1}), kMagenta);
  EXPECT_EQ(parent.Shown({101, 1}), kDialogColour);
  EXPECT_EQ(parent.Shown({158, 25}), QColor(Qt::white));

  const QImage image = transparent.CurrentImage().convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      ASSERT_NE(image.pixelColor(x, y), kMagenta) << x << "," << y;
    }
  }

  // A new background colour is taken up at once.
  QPalette palette = parent.window.palette();
  palette.setColor(QPalette::Window, Qt::darkGreen);
  parent.window.setPalette(palette);
  EXPECT_EQ(parent.Shown({101, 1}), QColor(Qt::darkGreen));
  EXPECT_EQ(parent.Shown({1, 1}), kMagenta);
}

TEST(AnimationControl, RepeatsAndStops) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(AnimationControl::kVisible, QRect(0, 0, 1, 1), &parent.window, 1));
  EXPECT_FALSE(control.Play());
  EXPECT_FALSE(control.Stop());
  ASSERT_TRUE(control.Open(IDR_AVI_TURTLE));
  ASSERT_TRUE(control.Seek(27));
  ASSERT_TRUE(control.Play());
  EXPECT_TRUE(QTest::qWaitFor([&] { return control.CurrentFrame() < 27; }));
  ASSERT_TRUE(control.Stop());
  EXPECT_FALSE(control.IsPlaying());
}

TEST(AnimationControl, CenteredKeepsItsSize) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(AnimationControl::kVisible | AnimationControl::kCenter, QRect(10, 10, 100, 90),
                             &parent.window, 1));
  ASSERT_TRUE(control.Open(IDR_AVI_TURTLE));
  EXPECT_EQ(control.geometry(), QRect(10, 10, 100, 90));
  EXPECT_EQ(parent.Shown({10 + 14, 10 + 9}), kDialogColour);
  EXPECT_EQ(parent.Shown({10 + 15, 10 + 10}), kMagenta);
}

TEST(AnimationControl, IsCreatedOnceAndOnlyWithAParent) {
  Parent parent;
  AnimationControl control;
  EXPECT_FALSE(control.Create(kMainStyle, QRect(1, 2, 3, 4), nullptr, 1));
  ASSERT_TRUE(control.Create(AnimationControl::kTransparent, QRect(1, 2, 3, 4), &parent.window, 7));
  EXPECT_FALSE(control.isVisibleTo(&parent.window));
  EXPECT_FALSE(control.Create(kMainStyle, QRect(5, 6, 7, 8), &parent.window, 8));
  EXPECT_EQ(control.GetDlgCtrlID(), 7);
  EXPECT_EQ(control.geometry(), QRect(1, 2, 3, 4));
}

TEST(AnimationControl, AClipThatCannotBeReadLeavesItEmpty) {
  Parent parent;
  AnimationControl control;
  ASSERT_TRUE(control.Create(kMainStyle, QRect(0, 0, 1, 1), &parent.window, 1));
  ASSERT_TRUE(control.Open(IDR_AVI_TURTLE));

  QByteArray broken;
  {
    QFile clip(":/clips/134");
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    broken = clip.readAll();
  }
  broken[broken.size() / 2] = '\x7f';  // inside a frame, most likely; cut short below anyway
  broken.chop(broken.size() / 3);
  EXPECT_FALSE(control.OpenData(broken));
  EXPECT_FALSE(control.IsPlaying());
  EXPECT_EQ(control.FrameCount(), 0);
  EXPECT_EQ(control.FrameTime(), 0);
  EXPECT_TRUE(control.CurrentImage().isNull());
  EXPECT_EQ(parent.Shown({1, 1}), kDialogColour);
  EXPECT_FALSE(control.Seek(0));
  EXPECT_FALSE(control.Play());

  EXPECT_FALSE(control.OpenData(QByteArray("RIFF\x04\0\0\0AVI ", 12)));
  EXPECT_FALSE(control.Open(IDR_AVI_TURTLE + 1));
}

TEST(AnimationControl, ReadsClipsFromFilesAndRefusesWhatIsNoFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copy = dir.filePath("turtle.avi");
  ASSERT_TRUE(QFile::copy(":/clips/134", copy));
  AnimationControl control;
  EXPECT_TRUE(control.Open(copy));
  EXPECT_EQ(control.FrameCount(), 29);

  EXPECT_FALSE(control.Open(dir.filePath("missing.avi")));
  EXPECT_EQ(control.FrameCount(), 0);
  EXPECT_FALSE(control.Open(dir.path()));

  // Too large to be one of ours: refused before it is read.
  QFile huge(dir.filePath("huge.avi"));
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
  ASSERT_TRUE(huge.resize(AnimationControl::kMaxClipFileSize + 1));
  huge.close();
  EXPECT_FALSE(control.Open(huge.fileName()));
}

// This test again, in a process of its own as a user whose reads the
// permissions stop (root's are not): its exit code, or why it cannot run.
std::optional<int> ExitCodeAsUnprivilegedUser(QString* whyNot) {
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (setpriv.isEmpty()) {
    *whyNot = QStringLiteral("setpriv is not installed");
    return std::nullopt;
  }
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  child.start(setpriv, {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                        QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                        QStringLiteral("--gtest_filter=AnimationControl.AFileItMayNotReadIsRefused")});
  // setpriv or the test program could not be started as that user.
  constexpr int kCannotRun = 126;
  if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() >= kCannotRun) {
    *whyNot = QStringLiteral("cannot run this test as nobody");
    return std::nullopt;
  }
  return child.exitCode();
}

TEST(AnimationControl, AFileItMayNotReadIsRefused) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("locked.avi");
  ASSERT_TRUE(QFile::copy(":/clips/134", path));
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
  QFile probe(path);
  if (probe.open(QIODevice::ReadOnly)) {
    QString whyNot;
    const std::optional<int> code = ExitCodeAsUnprivilegedUser(&whyNot);
    if (!code) GTEST_SKIP() << "this user reads files whatever their permissions, and " << whyNot.toStdString();
    EXPECT_EQ(*code, 0) << "the test failed as nobody";
    return;
  }
  AnimationControl control;
  EXPECT_FALSE(control.Open(path));
}

}  // namespace
