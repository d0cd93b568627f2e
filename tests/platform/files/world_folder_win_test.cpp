// The world folder's Windows half as the patcher relies on it: files reached
// inside the folder only, held against every other opener, replaced through
// handles without a moment in which another program's save is lost, nothing
// left behind, and what Wine lets a Windows program keep of a file's
// permissions. Cases that need the Linux host beneath Wine skip elsewhere.
#include "platform/files/world_folder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/wine_host_win.h"
#include "tests/support/test_prefix.h"

namespace {

using platform::IoErrorKind;
using platform::IoResult;
using platform::IoStatus;
using platform::WorldFile;
using platform::WorldFolder;
using testing_support::HostOutput;
using testing_support::HostScript;
using testing_support::UnixPathOf;
using Clock = std::chrono::steady_clock;

constexpr auto kRaceBudget = std::chrono::seconds(3);
const std::string kWorld = "C:\\world";
const std::string kCity = kWorld + "\\city";
const std::string kPath = kCity + "\\city.wrl";
// Set, they turn the helper tests below into the other programs of a test.
constexpr char kSaverWorld[] = "QUIETWALK_TEST_SAVER_WORLD";
constexpr char kRewriterWorld[] = "QUIETWALK_TEST_REWRITER_WORLD";
constexpr char kUnprivilegedWorld[] = "QUIETWALK_TEST_UNPRIVILEGED_WORLD";

// Names in the folder other than "." and "..".
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::string(data.cFileName) != "." && std::string(data.cFileName) != "..") names.push_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

std::string ReadShared(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes;
  char buffer[64 * 1024];
  DWORD read = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

bool WriteNew(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return CloseHandle(file) && wrote;
}

template <typename T>
std::optional<IoErrorKind> KindOf(const IoResult<T>& result) {
  if (result.ok()) return std::nullopt;
  return result.error().kind;
}

// The patcher's steps on one file: taken, read, and its content replaced
// by `bytes`, or by what it read followed by `appended`.
IoStatus Rewrite(WorldFolder& world, const std::string& path, const std::string& bytes,
                 const std::string& appended = {}) {
  IoResult<WorldFile> file = world.OpenFile(path);
  if (!file) return file.error();
  if (IoStatus taken = file->TakeExclusive(); !taken) return taken;
  IoResult<std::string> read = file->ReadAll();
  if (!read) return read.error();
  return file->ReplaceContent(appended.empty() ? bytes : *read + appended);
}

// This program again, running only `test` (one of the helpers below), with
// `variable` set to `value`.
HANDLE StartHelper(const char* test, const char* variable, const std::string& value) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string command = "\"" + std::string(program) + "\" --gtest_filter=" + test;
  SetEnvironmentVariableA(variable, value.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA(variable, nullptr);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD WaitForExit(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

class WorldFolderWinTest : public testing::Test {
 protected:
  testing_support::TestPrefix m_prefix;
};

TEST_F(WorldFolderWinTest, ReachesWhatLiesInsideAndNothingElse) {
  m_prefix.WriteFile(kPath, "old");
  m_prefix.WriteFile("C:\\outside\\o.wrl", "outside");
  IoResult<WorldFolder> world = WorldFolder::Open("C:\\WORLD\\.\\");
  ASSERT_TRUE(world.ok());
  EXPECT_EQ(world->path(), "C:\\WORLD");
  IoResult<WorldFile> file = world->OpenFile(kPath);
  ASSERT_TRUE(file.ok());
  EXPECT_FALSE(file->status().isFolder || file->status().readOnly);

  const std::vector<std::pair<std::string, IoErrorKind>> refused = {
      {"C:\\outside\\o.wrl", IoErrorKind::kOutside},
      {"C:\\world\\..\\outside\\o.wrl", IoErrorKind::kOutside},
      {kCity + "\\missing.wrl", IoErrorKind::kNotFound}};
  for (const auto& [path, kind] : refused) {
    IoResult<WorldFile> none = world->OpenFile(path);
    ASSERT_EQ(KindOf(none), kind) << path;
    EXPECT_EQ(none.error().path, path);
  }
  IoResult<WorldFile> folder = world->OpenFile(kCity);
  ASSERT_TRUE(folder.ok());
  EXPECT_TRUE(folder->status().isFolder);
  EXPECT_EQ(KindOf(folder->TakeExclusive()), IoErrorKind::kNotAFile);
  for (const std::string& noFolder : {std::string("C:\\nowhere"), kPath})
    EXPECT_EQ(KindOf(WorldFolder::Open(noFolder)), IoErrorKind::kNotFound) << noFolder;
}

TEST_F(WorldFolderWinTest, HoldsTheFileAgainstEveryOtherOpenerUntilItGoes) {
  m_prefix.WriteFile(kPath, "old");
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  std::optional<IoResult<WorldFile>> file(world->OpenFile(kPath));
  ASSERT_TRUE((*file)->TakeExclusive().ok());
  auto othersRefused = [] {
    HANDLE other = CreateFileA(kPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
    const DWORD error = GetLastError();
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    return other == INVALID_HANDLE_VALUE && error == ERROR_SHARING_VIOLATION;
  };
  EXPECT_TRUE(othersRefused());
  // Its status still reads; taking it a second time is refused as busy.
  IoResult<WorldFile> second = world->OpenFile(kPath);
  ASSERT_TRUE(second.ok());
  const IoStatus busy = second->TakeExclusive();
  EXPECT_EQ(KindOf(busy), IoErrorKind::kBusy);
  EXPECT_EQ(busy ? "" : busy.error().path, kPath);

  ASSERT_TRUE((*file)->ReplaceContent("new").ok());
  EXPECT_TRUE(othersRefused());
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"}) << "kept by the one that could not take it";
  file.reset();
  EXPECT_FALSE(othersRefused());
  EXPECT_EQ(m_prefix.ReadFile(kPath), "new");
}

TEST_F(WorldFolderWinTest, ReplacesTheContentKeepingAttributesAndLeavingNothingBeside) {
  m_prefix.WriteFile(kPath, "old content");
  ASSERT_TRUE(SetFileAttributesA(kPath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  const std::string replacement("new\r\n\0content", 14);
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  {
    IoResult<WorldFile> file = world->OpenFile(kPath);
    ASSERT_TRUE(file.ok() && file->TakeExclusive().ok());
    EXPECT_EQ(KindOf(file->ReadAll(10)), IoErrorKind::kTooLarge);
    EXPECT_EQ(*file->ReadAll(11), "old content");
    // Another program looks at the file meanwhile, and keeps the old one
    // from going until it lets go.
    HANDLE looking =
        CreateFileA(kPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(looking, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(file->ReplaceContent(replacement).ok());
    CloseHandle(looking);
    EXPECT_EQ(*file->ReadAll(), replacement);
  }
  EXPECT_TRUE(world->Flush().ok());
  EXPECT_EQ(m_prefix.ReadFile(kPath), replacement);
  EXPECT_TRUE(GetFileAttributesA(kPath.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"});
}

// On the drives the Wine emulator makes: a full one and a read-only one.
TEST_F(WorldFolderWinTest, AFullOrWriteProtectedDriveLeavesTheFileAndNothingElse) {
  const std::vector<std::pair<const char*, IoErrorKind>> drives = {
      {"QUIETWALK_FULL_DRIVE", IoErrorKind::kDiskFull}, {"QUIETWALK_READONLY_DRIVE", IoErrorKind::kAccessDenied}};
  for (const auto& [variable, kind] : drives) {
    const char* drive = std::getenv(variable);
    if (drive == nullptr) GTEST_SKIP() << "the emulator could not mount its scratch drives";
    const std::string path = std::string(drive) + "\\world.wrl";
    if (kind == IoErrorKind::kDiskFull) {
      ASSERT_TRUE(WriteNew(path, std::string(40 * 1024, 'o')));
    }
    const std::string before = ReadShared(path);
    {
      IoResult<WorldFolder> world = WorldFolder::Open(std::string(drive) + "\\");
      ASSERT_TRUE(world.ok());
      const IoStatus replaced = Rewrite(*world, path, std::string(40 * 1024, 'n'));
      ASSERT_EQ(KindOf(replaced), kind) << variable;
      EXPECT_EQ(replaced.error().path, path);
    }
    EXPECT_EQ(Names(drive), std::vector<std::string>{"world.wrl"}) << variable;
    EXPECT_EQ(ReadShared(path), before) << variable;
    if (kind == IoErrorKind::kDiskFull) DeleteFileA(path.c_str());
  }
}

// --- links, which only Wine's host can make here ---------------------------

TEST_F(WorldFolderWinTest, FollowsLinksInsideAndRefusesThoseThatLeadOut) {
  m_prefix.WriteFile(kPath, "old");
  m_prefix.WriteFile("C:\\outside\\o.wrl", "outside");
  const std::optional<std::string> world = UnixPathOf(kWorld);
  if (!world) GTEST_SKIP() << "needs Wine's host to make links";
  ASSERT_TRUE(HostOutput("cd '" + *world + "' && ln -s city.wrl city/in.wrl && ln -s ../outside/o.wrl out.wrl &&" +
                         " ln -s ../outside outdir"));
  {
    IoResult<WorldFolder> folder = WorldFolder::Open(kWorld);
    ASSERT_TRUE(folder.ok());
    EXPECT_TRUE(Rewrite(*folder, kCity + "\\in.wrl", "new").ok());
    for (const std::string& path : {kWorld + "\\out.wrl", kWorld + "\\outdir\\o.wrl"})
      EXPECT_EQ(KindOf(folder->OpenFile(path)), IoErrorKind::kOutside) << path;
  }
  EXPECT_EQ(m_prefix.ReadFile(kPath), "new");
  EXPECT_EQ(HostOutput("readlink '" + *world + "/city/in.wrl'"), std::optional<std::string>("city.wrl\n"));
  EXPECT_EQ(m_prefix.ReadFile("C:\\outside\\o.wrl"), "outside");
  // Through the host: Wine would delete what a link to a file leads to.
  EXPECT_TRUE(HostOutput("cd '" + *world + "' && rm city/in.wrl out.wrl outdir"));
}

// Names a folder holds under Wine though Windows forbids them. One that
// another name there equals but for case can be given to no new file (a
// move into it meets the other file), so that world is left whole; a
// folder whose name ends in a space is one like any other.
TEST_F(WorldFolderWinTest, NamesOnlyWineHasAreReplacedOrLeftWhole) {
  m_prefix.MakeFolder(kCity);
  const std::optional<std::string> city = UnixPathOf(kCity);
  if (!city) GTEST_SKIP() << "needs Wine's host to make names Windows forbids";
  ASSERT_TRUE(HostOutput("cd '" + *city + "' && echo one >Case.wrl && echo two >case.wrl && mkdir 'sp ' &&" +
                         " echo old >'sp /w.wrl'"));
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  for (const char* name : {"Case.wrl", "case.wrl"}) {
    const IoStatus replaced = Rewrite(*world, kCity + "\\" + name, "new");
    EXPECT_EQ(KindOf(replaced), IoErrorKind::kGeneric) << name;
  }
  EXPECT_TRUE(Rewrite(*world, kCity + "\\sp \\w.wrl", "new").ok());
  EXPECT_EQ(HostOutput("cd '" + *city + "' && ls -A . 'sp ' && cat Case.wrl case.wrl 'sp /w.wrl'"),
            std::optional<std::string>(".:\nCase.wrl\ncase.wrl\nsp \n\nsp :\nw.wrl\none\ntwo\nnew"));
  // Through the host: Windows cannot name the folder to remove it.
  EXPECT_TRUE(HostOutput("cd '" + *city + "' && rm -r Case.wrl case.wrl 'sp '"));
}

// A folder of the world swapped for a link to a folder outside, and back,
// as fast as the host can, while the world's file is patched over and over:
// nothing outside is ever written, renamed away or left behind, and inside
// every rewrite leaves the world under its name with its old content or its
// new, and nothing beside it.
TEST_F(WorldFolderWinTest, NothingOutsideIsTouchedWhileAFolderIsSwappedForALink) {
  m_prefix.WriteFile(kPath, "inside");
  m_prefix.WriteFile("C:\\outside\\city\\city.wrl", "outside");
  const std::optional<std::string> world = UnixPathOf(kWorld);
  if (!world) GTEST_SKIP() << "needs Wine's host to swap a folder for a link";
  // The loop ends on its own should the test never stop it.
  HostScript swapper("cd '" + *world + "' && ln -s ../outside/city link && end=$(($(date +%s) + 30)) &&\n" +
                     "while [ ! -e stop ] && [ $(date +%s) -lt $end ]; do\n" +
                     "  mv -T city real && mv -T link city && mv -T city link && mv -T real city || exit 1\n" +
                     "done\n");
  ASSERT_TRUE(swapper.started());
  IoResult<WorldFolder> folder = WorldFolder::Open(kWorld);
  ASSERT_TRUE(folder.ok());
  int replaced = 0;
  int outside = 0;
  std::string content = "inside";
  for (const auto end = Clock::now() + kRaceBudget; Clock::now() < end;) {
    const std::string patched = "patched " + std::to_string(replaced + 1);
    const IoStatus rewritten = Rewrite(*folder, kPath, patched);
    if (rewritten.ok()) {
      content = patched;
      ++replaced;
    }
    outside += KindOf(rewritten) == IoErrorKind::kOutside;
  }
  m_prefix.WriteFile(kWorld + "\\stop");
  EXPECT_EQ(swapper.Wait(), 0);
  EXPECT_EQ(m_prefix.ReadFile("C:\\outside\\city\\city.wrl"), "outside");
  EXPECT_EQ(Names("C:\\outside\\city"), std::vector<std::string>{"city.wrl"});
  EXPECT_EQ(m_prefix.ReadFile(kPath), content);
  EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"});
  EXPECT_TRUE(HostOutput("rm '" + *world + "/link'"));
  EXPECT_GT(replaced, 0) << "the race never let a patch through";
  EXPECT_GT(outside, 0) << "the race never showed the link";
}

// --- another program saving, and a rewrite cut off -------------------------

// The other program of AnotherProgramsSaveIsNeverLost: it saves into the
// world over and over, every other save in place, the others as a new file
// renamed over the world, and before each save checks that its last save
// is still there (a rewrite adds a line, and must never put an older
// content back). Ends when the world's folder holds "stop".
TEST(WorldFolderWinSaver, SavesUntilStopped) {
  const char* world = std::getenv(kSaverWorld);
  if (world == nullptr) GTEST_SKIP() << "runs as the other program of AnotherProgramsSaveIsNeverLost";
  const std::string path = world;
  const std::string folder = path.substr(0, path.rfind('\\'));
  int saves = 0;
  int lost = 0;
  std::string last;
  while (GetFileAttributesA((folder + "\\stop").c_str()) == INVALID_FILE_ATTRIBUTES) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;  // held, or its name free for a moment
    std::string content(4096, '\0');
    DWORD done = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    lost += !content.substr(0, done).starts_with(last);
    const std::string next = "save " + std::to_string(saves + 1) + "\n";
    if (saves % 2 == 0) {
      SetFilePointer(file, 0, nullptr, FILE_BEGIN);
      ASSERT_TRUE(WriteFile(file, next.data(), static_cast<DWORD>(next.size()), &done, nullptr) && SetEndOfFile(file) &&
                  CloseHandle(file));
    } else {
      CloseHandle(file);
      const std::string saving = folder + "\\saving.tmp";
      if (!WriteNew(saving, next) || !MoveFileExA(saving.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(saving.c_str());
        continue;
      }
    }
    last = next;
    ++saves;
  }
  EXPECT_EQ(lost, 0) << "of " << saves << " saves";
  EXPECT_GT(saves, 0);
}

TEST_F(WorldFolderWinTest, AnotherProgramsSaveIsNeverLost) {
  m_prefix.WriteFile(kPath, "");
  HANDLE saver = StartHelper("WorldFolderWinSaver.*", kSaverWorld, kPath);
  ASSERT_NE(saver, nullptr);
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  // Each save is patched once (told by its size and time, which need no
  // open that would stand in the other program's way): it gets its turns.
  int replaced = 0;
  WIN32_FILE_ATTRIBUTE_DATA patched{};
  for (const auto end = Clock::now() + kRaceBudget; Clock::now() < end;) {
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!GetFileAttributesExA(kPath.c_str(), GetFileExInfoStandard, &now) ||
        (now.nFileSizeLow == patched.nFileSizeLow &&
         CompareFileTime(&now.ftLastWriteTime, &patched.ftLastWriteTime) == 0))
      continue;
    if (!Rewrite(*world, kPath, {}, "patched\n")) continue;
    ++replaced;
    GetFileAttributesExA(kPath.c_str(), GetFileExInfoStandard, &patched);
  }
  m_prefix.WriteFile(kCity + "\\stop");
  EXPECT_EQ(WaitForExit(saver), 0u) << "the other program lost a save";
  EXPECT_GT(replaced, 0);
  EXPECT_EQ(Names(kCity), (std::vector<std::string>{"city.wrl", "stop"}));
}

// The program that ARewriteCutOffLeavesTheWorldAndNothingElse cuts off.
TEST(WorldFolderWinRewriter, RewritesUntilCutOff) {
  const char* world = std::getenv(kRewriterWorld);
  if (world == nullptr) GTEST_SKIP() << "runs as the program ARewriteCutOffLeavesTheWorldAndNothingElse cuts off";
  const std::string path = world;
  IoResult<WorldFolder> folder = WorldFolder::Open(path.substr(0, path.rfind('\\')));
  ASSERT_TRUE(folder.ok());
  for (;;) ASSERT_TRUE(Rewrite(*folder, path, {}, "b").ok());
}

// Cut off while it writes the new content (the moment its new file shows a
// size), the other program leaves the world as it was and nothing beside.
TEST_F(WorldFolderWinTest, ARewriteCutOffLeavesTheWorldAndNothingElse) {
  const std::string old(64 << 20, 'a');
  m_prefix.WriteFile(kPath, old);
  for (int cut = 0; cut < 2; ++cut) {
    HANDLE changes = FindFirstChangeNotificationA(kCity.c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE);
    ASSERT_NE(changes, INVALID_HANDLE_VALUE);
    HANDLE rewriter = StartHelper("WorldFolderWinRewriter.*", kRewriterWorld, kPath);
    ASSERT_NE(rewriter, nullptr);
    const HANDLE either[] = {changes, rewriter};
    const DWORD woken = WaitForMultipleObjects(2, either, FALSE, 60 * 1000);
    TerminateProcess(rewriter, 9);
    EXPECT_EQ(WaitForExit(rewriter), 9u);
    FindCloseChangeNotification(changes);
    ASSERT_EQ(woken, WAIT_OBJECT_0) << "the other program ended or never wrote";
    EXPECT_EQ(Names(kCity), std::vector<std::string>{"city.wrl"}) << "cut " << cut;
    EXPECT_EQ(ReadShared(kPath), old) << "cut " << cut;
  }
}

// --- permissions, under Wine ------------------------------------------------

// Wine shows a file's owner and others' permission bits as its security
// descriptor, and makes a new file's bits from one: the owner's rights for
// owner and group, the others' for others, less the umask. It shows
// neither the file's group nor the group's bits, so those cannot be carried
// over: with the usual umask 022, 0644 and 0640 stay, 0600 becomes 0640 and
// 0664 0644. What it shows is kept, owner and group included; a file that
// would lose some of it (another umask) is left alone.
TEST_F(WorldFolderWinTest, UnderWineKeepsTheModeBitsWineShowsAndTheOwner) {
  m_prefix.MakeFolder(kCity);
  const std::optional<std::string> city = UnixPathOf(kCity);
  if (!city) GTEST_SKIP() << "needs Wine's host to read the mode";
  const bool usualUmask = HostOutput("umask") == std::optional<std::string>("0022\n");
  IoResult<WorldFolder> world = WorldFolder::Open(kWorld);
  ASSERT_TRUE(world.ok());
  for (const std::string mode : {"644", "640", "600", "664"}) {
    m_prefix.WriteFile(kCity + "\\m" + mode + ".wrl", "old");
    const std::string host = "'" + *city + "/m" + mode + ".wrl'";
    ASSERT_TRUE(HostOutput("chmod " + mode + " " + host));
    const std::optional<std::string> before = HostOutput("stat -c '%a %U:%G' " + host);
    const IoStatus replaced = Rewrite(*world, kCity + "\\m" + mode + ".wrl", "new");
    const std::optional<std::string> after = HostOutput("stat -c '%a %U:%G' " + host);
    ASSERT_TRUE(before && after);
    if (!replaced) {
      EXPECT_FALSE(usualUmask) << mode;
      EXPECT_EQ(KindOf(replaced), IoErrorKind::kAccessDenied) << mode;
      EXPECT_EQ(after, before) << mode;
      continue;
    }
    EXPECT_EQ(after->substr(3), before->substr(3)) << "owner and group, mode " << mode;
    EXPECT_EQ((*after)[0], mode[0]) << "owner's bits, mode " << mode;
    EXPECT_EQ((*after)[2], mode[2]) << "others' bits, mode " << mode;
    if (usualUmask && (mode == "644" || mode == "640")) {
      EXPECT_EQ(after->substr(0, 3), mode);
    }
  }
  EXPECT_EQ(Names(kCity), (std::vector<std::string>{"m600.wrl", "m640.wrl", "m644.wrl", "m664.wrl"}));
}

// Run as an unprivileged user by AsAnotherUserNothingItMayNotWriteIsWritten.
TEST(WorldFolderWinUnprivileged, WritesOnlyWhatItMayWrite) {
  const char* folder = std::getenv(kUnprivilegedWorld);
  if (folder == nullptr) GTEST_SKIP() << "runs as another user under AsAnotherUserNothingItMayNotWriteIsWritten";
  IoResult<WorldFolder> world = WorldFolder::Open(folder);
  ASSERT_TRUE(world.ok());
  // Taken and read alike (a file that needs no change is never refused);
  // only what this user may not write is refused, as an open for writing.
  EXPECT_TRUE(Rewrite(*world, world->path() + "\\own640.wrl", "new").ok());
  for (const char* name : {"own464.wrl", "root644.wrl"}) {
    const std::string path = world->path() + "\\" + name;
    IoResult<WorldFile> file = world->OpenFile(path);
    ASSERT_TRUE(file.ok() && file->TakeExclusive().ok() && file->ReadAll().ok()) << name;
    EXPECT_EQ(KindOf(file->ReplaceContent("new")), IoErrorKind::kGeneric) << name;
  }
  EXPECT_TRUE(world->Flush().ok());
}

TEST_F(WorldFolderWinTest, AsAnotherUserNothingItMayNotWriteIsWritten) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const char* emulator = std::getenv("QUIETWALK_WINE_EMULATOR");
  const std::optional<std::string> unixProgram = UnixPathOf(program);
  if (emulator == nullptr || !unixProgram) GTEST_SKIP() << "needs the Wine emulator to run as another user";
  if (HostOutput("id -u") != std::optional<std::string>("0\n")) GTEST_SKIP() << "needs root to become another user";
  // A folder the other user can reach, outside this run's own prefix.
  const std::optional<std::string> world = HostOutput(
      "world=$(mktemp -d \"${TMPDIR:-/tmp}/quietwalk-unprivileged-XXXXXX\") && cd \"$world\" && chmod 777 . &&"
      " for f in own464 root644 own640; do echo old > $f.wrl; done && chown nobody:nogroup own464.wrl own640.wrl &&"
      " chmod 464 own464.wrl && chmod 640 own640.wrl && chmod 644 root644.wrl && printf %s \"$world\"");
  ASSERT_TRUE(world);
  std::string windowsWorld = "Z:" + *world;
  for (char& c : windowsWorld) c = c == '/' ? '\\' : c;
  const std::optional<std::string> run = HostOutput(
      std::string("export ") + kUnprivilegedWorld + "='" + windowsWorld + "'\n'" + emulator + "' --as-user nobody '" +
      *unixProgram + "' --gtest_filter=WorldFolderWinUnprivileged.* 2>&1\n" + "echo status $?");
  const std::optional<std::string> after =
      HostOutput("cd '" + *world + "' && stat -c '%n %a %U:%G' *.wrl && cat own464.wrl root644.wrl own640.wrl");
  HostOutput("rm -rf '" + *world + "'");
  ASSERT_TRUE(run);
  if (run->find("status 77\n") != std::string::npos) GTEST_SKIP() << "cannot run Wine as nobody here:\n" << *run;
  EXPECT_NE(run->find("[  PASSED  ] 1 test"), std::string::npos) << *run;
  EXPECT_NE(run->find("status 0\n"), std::string::npos) << *run;
  EXPECT_EQ(after, std::optional<std::string>("own464.wrl 464 nobody:nogroup\nown640.wrl 640 nobody:nogroup\n"
                                              "root644.wrl 644 root:root\nold\nold\nnew"));
}

}  // namespace
