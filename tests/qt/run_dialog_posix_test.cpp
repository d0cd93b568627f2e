// The full-disk path of the batch run through the real dialog, on a real
// file system that is full: the dialog ends mid-run while the worker goes on.

#include <sched.h>
#include <sys/mount.h>

#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "qt/dialog_builder.h"
#include "qt/quietwalk_dlg.h"
#include "tests/qt/run_fixture.h"

using namespace testing_support;

namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Mounts made here live in a mount namespace of this process alone, so they
// go with it even when a test dies half-way. Threads started afterwards by
// this (the UI) thread, the worker among them, share it.
std::string PrivateMountsUnavailable() {
  static const std::string reason = [] {
    if (unshare(CLONE_NEWNS) != 0) return Errno("unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Errno("making / private");
    return std::string();
  }();
  return reason;
}

// A small tmpfs at a host folder for the life of the object.
class SmallDisk {
 public:
  explicit SmallDisk(std::string path) : m_path(std::move(path)) {
    if (mount("tmpfs", m_path.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0) m_error = Errno("mounting a tmpfs");
  }
  ~SmallDisk() {
    if (m_error.empty()) umount2(m_path.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  const std::string& error() const { return m_error; }

 private:
  std::string m_path;
  std::string m_error;
};

std::string Path(const std::string& name) { return kWorld + "\\" + name; }

// Disk full on file 2 of 5: message 111, the dialog goes away, files 3 to 5
// are still tried (a failure among them still reported), the summary still
// comes up, now without an owner, and the teardown waits for all of it.
TEST(RunDialogPosixTest, FullDiskEndsTheDialogAndTheRunGoesOn) {
  if (std::string why = PrivateMountsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  g_filesWritten = 0;
  TestPrefix prefix;
  InstallBrowser(prefix);
  prefix.MakeFolder(Path("b"));
  SmallDisk disk(prefix.HostPath(Path("b")));
  if (!disk.error().empty()) GTEST_SKIP() << disk.error();

  // Too big to be rewritten beside itself on a 256 KiB disk.
  std::string big = "#VRML V2.0 utf8\n";
  while (big.size() < 160 * 1024) big += "Shape { geometry Box {} }\n";
  prefix.WriteFile(Path("a.wrl"), kBumpsOn);
  prefix.WriteFile(Path("b\\big.wrl"), big);
  prefix.WriteFile(Path("c.wrl"), kPlainWorld);
  prefix.WriteFile(Path("d.wrl"), kBumpsOn);
  prefix.WriteFile(Path("e.wrl"), kBumpsOn);
  std::filesystem::permissions(prefix.HostPath(Path("d.wrl")),
                               std::filesystem::perms::owner_read | std::filesystem::perms::group_read);

  auto dialog = std::make_unique<RunDialog>();
  // The later boxes may come up during the teardown, with the dialog half
  // destroyed: only its widgets are looked at then.
  const QWidget* window = dialog.get();
  const QLabel* status = &dialog->m_status;
  const QProgressBar* progress = &dialog->m_progress;
  bool dialogGoneAtLaterBox = false;
  QString labelAtLaterBox;
  int positionAtLaterBox = -1;
  RecordingPresenter presenter([&](const ShownBox& box) {
    if (box.icon != MessageIcon::kWarning) return;
    dialogGoneAtLaterBox = !window->isVisible();
    labelAtLaterBox = status->text();
    positionAtLaterBox = progress->value();
  });
  QTimer::singleShot(0, dialog.get(), [&] { QTest::mouseClick(dialog->GetDlgItem(kIdOk), Qt::LeftButton); });
  EXPECT_EQ(dialog->DoModal(), -4);
  dialog.reset();

  const auto& boxes = presenter.boxes();
  ASSERT_EQ(boxes.size(), size_t{3});
  EXPECT_EQ(boxes[0].text, "Unable to write the file \"" + Path("b\\big.wrl") + "\" because the disk is full.");
  EXPECT_EQ(boxes[0].icon, MessageIcon::kStop);
  EXPECT_EQ(boxes[1].text, "Cannot write the file \"" + Path("d.wrl") +
                               "\" because it's read-only. \nThis file is going to be ignored.");
  EXPECT_EQ(boxes[2].text, std::string("Done ! \n3 files have been written."));
  EXPECT_EQ(boxes[2].icon, MessageIcon::kInformation);
  EXPECT_EQ(boxes[2].owner, nullptr);

  // Once ended, the dialog took no more updates: it still shows file 1.
  EXPECT_TRUE(dialogGoneAtLaterBox);
  EXPECT_EQ(labelAtLaterBox, QString("Writting File 1 of 5"));
  EXPECT_EQ(positionAtLaterBox, 20);

  EXPECT_EQ(prefix.ReadFile(Path("a.wrl")), kBumpsOnMadeQuiet);
  EXPECT_EQ(prefix.ReadFile(Path("b\\big.wrl")), big);
  EXPECT_EQ(prefix.ReadFile(Path("c.wrl")), PlainWorldPatched(0));
  EXPECT_EQ(prefix.ReadFile(Path("d.wrl")), kBumpsOn);
  EXPECT_EQ(prefix.ReadFile(Path("e.wrl")), kBumpsOnMadeQuiet);
}

}  // namespace
