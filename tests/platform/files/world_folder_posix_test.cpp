// The world folder on Linux: what a path reaches from the folder's handle,
// what stays out of reach, and paths swapped for links outside while files
// are opened.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/files/world_folder.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::IoErrorKind;
using platform::WorldFile;
using platform::WorldFolder;
using Clock = std::chrono::steady_clock;

// A race given this long is tried as often as it fits.
constexpr auto kRaceBudget = std::chrono::seconds(2);

class WorldFolderPosixTest : public testing::Test {
 protected:
  void SetUp() override { m_prefix.MakeFolder("C:\\world"); }

  std::string Host(const std::string& windowsPath) const { return m_prefix.HostPath(windowsPath); }

  WorldFolder Open() {
    platform::IoResult<WorldFolder> folder = WorldFolder::Open("C:\\world");
    EXPECT_TRUE(folder) << folder.error().path;
    return std::move(*folder);
  }

  // The content of what `path` reaches through a world folder at C:\world,
  // or the kind of error it gives, as "error <kind>".
  std::string Reach(const std::string& path) {
    WorldFolder folder = Open();
    platform::IoResult<WorldFile> file = folder.OpenFile(path);
    if (!file) {
      EXPECT_EQ(file.error().path, path);
      return Error(file.error().kind);
    }
    if (platform::IoStatus taken = file->TakeExclusive(); !taken) return Error(taken.error().kind);
    platform::IoResult<std::string> bytes = file->ReadAll();
    return bytes ? *bytes : "unreadable";
  }

  static std::string Error(IoErrorKind kind) { return "error " + std::to_string(static_cast<int>(kind)); }

  testing_support::TestPrefix m_prefix;
};

TEST_F(WorldFolderPosixTest, NamesAreFoundAsWineFindsThem) {
  m_prefix.WriteFile("C:\\world\\Sub\\City.wrl", "city");
  m_prefix.WriteFile("C:\\world\\pair\\a.wrl", "lower");
  m_prefix.WriteFile("C:\\world\\pair\\A.wrl", "upper");
  fs::create_symlink("Sub/City.wrl", Host("C:\\world\\link.wrl"));
  fs::create_symlink("../Sub", Host("C:\\world\\pair\\up"));
  fs::create_symlink("loop", Host("C:\\world\\loop"));
  fs::create_symlink("gone.wrl", Host("C:\\world\\dangling.wrl"));
  m_prefix.MakeFolder("C:\\world\\folder.wrl");
  EXPECT_EQ(Reach("C:\\world\\Sub\\City.wrl"), "city");
  EXPECT_EQ(Reach("C:\\WORLD\\sub\\CITY.WRL"), "city");
  EXPECT_EQ(Reach("C:\\world\\pair\\a.wrl"), "lower");
  EXPECT_EQ(Reach("C:\\world\\pair\\A.wrl"), "upper");
  EXPECT_EQ(Reach("C:\\world\\link.wrl"), "city");
  EXPECT_EQ(Reach("C:\\world\\pair\\up\\city.wrl"), "city");
  EXPECT_EQ(Reach("C:\\world\\Sub\\..\\Sub\\City.wrl"), "city");
  EXPECT_EQ(Reach("C:\\world\\missing.wrl"), Error(IoErrorKind::kNotFound));
  EXPECT_EQ(Reach("C:\\world\\loop"), Error(IoErrorKind::kNotFound));
  EXPECT_EQ(Reach("C:\\world\\dangling.wrl"), Error(IoErrorKind::kNotFound));
  EXPECT_EQ(Reach("C:\\world\\folder.wrl"), Error(IoErrorKind::kNotAFile));
  // A world folder that is itself a link is where its files are.
  fs::create_symlink(Host("C:\\world"), Host("C:\\linked"));
  platform::IoResult<WorldFolder> linked = WorldFolder::Open("C:\\Linked\\");
  ASSERT_TRUE(linked);
  EXPECT_EQ(linked->path(), "C:\\Linked");
  EXPECT_TRUE(linked->OpenFile("C:\\linked\\Sub\\City.wrl"));
  EXPECT_EQ(WorldFolder::Open("C:\\nowhere").error().kind, IoErrorKind::kNotFound);
}

TEST_F(WorldFolderPosixTest, NothingOutsideTheFolderIsReached) {
  m_prefix.WriteFile("C:\\store\\real.wrl", "outside");
  m_prefix.WriteFile("C:\\world\\sub\\inner.wrl", "inside");
  fs::create_symlink(Host("C:\\store\\real.wrl"), Host("C:\\world\\absolute.wrl"));
  fs::create_symlink("../store/real.wrl", Host("C:\\world\\climbing.wrl"));
  fs::create_symlink("../../world/sub/inner.wrl", Host("C:\\world\\sub\\round.wrl"));
  fs::create_symlink("../store", Host("C:\\world\\out"));
  for (const char* path : {"C:\\world\\absolute.wrl", "C:\\world\\climbing.wrl", "C:\\world\\sub\\round.wrl",
                           "C:\\world\\out\\real.wrl", "C:\\world\\..\\store\\real.wrl", "C:\\store\\real.wrl",
                           "C:\\worldly\\x.wrl", "C:\\world", "Z:\\world\\sub\\inner.wrl"})
    EXPECT_EQ(Reach(path), Error(IoErrorKind::kOutside)) << path;
}

// Swaps `name` (a folder or a file under C:\world) for a link to its
// namesake under C:\store and back, over and over, until killed.
pid_t StartSwapping(const std::string& hostWorld, const std::string& hostStore, const std::string& name) {
  const pid_t swapper = fork();
  if (swapper != 0) return swapper;
  const std::string real = hostWorld + "/" + name, aside = hostWorld + "/aside", link = hostStore + "/" + name;
  for (;;) {
    if (rename(real.c_str(), aside.c_str()) != 0 || symlink(link.c_str(), real.c_str()) != 0) _exit(1);
    if (unlink(real.c_str()) != 0 || rename(aside.c_str(), real.c_str()) != 0) _exit(1);
  }
}

TEST_F(WorldFolderPosixTest, PathsSwappedForLinksOutsideNeverReachOutside) {
  struct Case {
    const char* swapped;  // what is swapped for a link
    const char* path;     // the file opened
  };
  for (const Case& c : {Case{"sub", "C:\\world\\sub\\city.wrl"}, Case{"city.wrl", "C:\\world\\city.wrl"}}) {
    for (const char* folder : {"C:\\world\\sub", "C:\\store\\sub"}) m_prefix.MakeFolder(folder);
    for (const char* file : {"C:\\world\\city.wrl", "C:\\world\\sub\\city.wrl"}) m_prefix.WriteFile(file, "inside");
    for (const char* file : {"C:\\store\\city.wrl", "C:\\store\\sub\\city.wrl"}) m_prefix.WriteFile(file, "outside");
    const pid_t swapper = StartSwapping(Host("C:\\world"), Host("C:\\store"), c.swapped);
    int replaced = 0;
    // The budget, and then on until one rewrite got through: a loaded or
    // sanitized run may need longer for one.
    const auto start = Clock::now();
    for (auto now = start; now < start + kRaceBudget || (replaced == 0 && now < start + 10 * kRaceBudget);
         now = Clock::now()) {
      WorldFolder folder = Open();
      platform::IoResult<WorldFile> file = folder.OpenFile(c.path);
      if (file && file->TakeExclusive() && file->ReadAll() && file->ReplaceContent("rewritten")) ++replaced;
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
    EXPECT_EQ(m_prefix.ReadFile("C:\\store\\city.wrl"), "outside");
    EXPECT_EQ(m_prefix.ReadFile("C:\\store\\sub\\city.wrl"), "outside");
    EXPECT_GT(replaced, 0) << c.swapped;
    fs::remove_all(Host("C:\\store"));
    fs::remove_all(Host("C:\\world"));
    m_prefix.MakeFolder("C:\\world");
  }
}

}  // namespace
