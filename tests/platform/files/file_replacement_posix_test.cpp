// Replacing a file while another program saves its own over it twice, the
// second time between the exchange of names and its check: that second save
// stands, and the first is not removed.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/files/file_replacement_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;

// Another program's save: a new file renamed over the name.
void Save(const std::string& folder, const std::string& bytes) {
  std::ofstream(folder + "/save.new") << bytes;
  fs::rename(folder + "/save.new", folder + "/city.wrl");
}

TEST(FileReplacementPosix, ASaveDuringTheExchangeStandsAndTheOneBeforeIsNotRemoved) {
  testing_support::TestPrefix prefix;
  prefix.WriteFile("C:\\world\\city.wrl", "original");
  const std::string folder = prefix.HostPath("C:\\world");
  const std::string name = "city.wrl";
  const platform::ScopedFd folderFd(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  const platform::ScopedFd fileFd(openat(folderFd.get(), name.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status;
  ASSERT_EQ(fstat(fileFd.get(), &status), 0);
  {
    const platform::OriginalFile original{folderFd.get(), name, fileFd.get(), status, false};
    platform::ReplacementFile ours;
    ASSERT_EQ(platform::ReplacementFile::Create(original, &ours), 0);
    ASSERT_EQ(write(ours.fd(), "ours", 4), 4);
    Save(folder, "first save");
    ASSERT_EQ(ours.Exchange(), 0);
    Save(folder, "second save");
    EXPECT_EQ(ours.Settle(), ESTALE);
  }
  EXPECT_EQ(prefix.ReadFile("C:\\world\\city.wrl"), "second save");
  std::multiset<std::string> contents;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    contents.insert((std::stringstream() << std::ifstream(entry.path()).rdbuf()).str());
  EXPECT_EQ(contents, (std::multiset<std::string>{"first save", "second save"}));
}

}  // namespace
