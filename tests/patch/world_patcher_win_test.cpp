// Failure paths of the Windows half on the drives the Wine emulator makes
// (cmake/wine-emulator); skipped where there are none.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "patch/world_patcher.h"

namespace {

std::string ScratchDrive(const char* variable) {
  const char* drive = std::getenv(variable);
  if (drive == nullptr || GetFileAttributesA((std::string(drive) + "\\").c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return drive;
}

std::string Read(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(1 << 20, '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

TEST(WorldPatcherWin, AFullDiskIsReportedAndTheWorldIsLeftAsItWas) {
  const std::string drive = ScratchDrive("QUIETWALK_FULL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no small drive to fill (the emulator could not mount one)";
  const std::string path = drive + "\\big.wrl";
  // 40 KiB that need a change: the rewrite does not fit beside the original.
  std::string world = "#VRML V2.0 utf8\n";
  while (world.size() < 40 * 1024) world += "Sony_WorldInfo { collisionSound TRUE }\n";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, world.data(), static_cast<DWORD>(world.size()), &written, nullptr));
  CloseHandle(file);

  g_filesWritten = 0;
  EXPECT_EQ(PatchWorldFile(path, 0), kDiskFull);
  EXPECT_EQ(g_filesWritten, 0);
  EXPECT_EQ(Read(path), world);
  DeleteFileA(path.c_str());
}

TEST(WorldPatcherWin, AWriteProtectedDriveIsAccessDenied) {
  const std::string drive = ScratchDrive("QUIETWALK_READONLY_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no read-only drive (the emulator could not mount one)";
  const std::string path = drive + "\\world.wrl";
  const std::string before = Read(path);
  g_filesWritten = 0;
  EXPECT_EQ(PatchWorldFile(path, 0), kAccessDenied);
  EXPECT_EQ(g_filesWritten, 0);
  EXPECT_EQ(Read(path), before);
}

}  // namespace
