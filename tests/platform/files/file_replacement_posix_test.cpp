// Replacing a file while another program saves its own over it: whatever
// that program saved last stands, and none of its files is removed.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files/file_replacement_posix.h"
#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::OriginalFile;
using platform::ReplacementFile;
using platform::ScopedFd;

class FileReplacementPosixTest : public testing::Test {
 protected:
  void SetUp() override {
    m_prefix.WriteFile("C:\\world\\city.wrl", "original");
    m_folder = m_prefix.HostPath("C:\\world");
    m_folderFd = ScopedFd(open(m_folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    m_fileFd = ScopedFd(openat(m_folderFd.get(), m_name.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(fstat(m_fileFd.get(), &m_status), 0);
  }

  // Another program's save: a new file renamed over the name.
  void Save(const std::string& bytes) const {
    std::ofstream(m_folder + "/save.new") << bytes;
    fs::rename(m_folder + "/save.new", m_folder + "/" + m_name);
  }

  std::string Read(const std::string& name) const {
    std::stringstream bytes;
    bytes << std::ifstream(m_folder + "/" + name).rdbuf();
    return bytes.str();
  }

  // The content of every file in the folder.
  std::vector<std::string> Contents() const {
    std::vector<std::string> contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_folder))
      contents.push_back(Read(entry.path().filename()));
    std::sort(contents.begin(), contents.end());
    return contents;
  }

  testing_support::TestPrefix m_prefix;
  std::string m_folder;
  const std::string m_name = "city.wrl";
  ScopedFd m_folderFd, m_fileFd;
  struct stat m_status {};
};

TEST_F(FileReplacementPosixTest, ASecondSaveDuringTheExchangeStandsAndTheFirstIsNotRemoved) {
  const OriginalFile original{m_folderFd.get(), m_name, m_fileFd.get(), m_status, false};
  {
    ReplacementFile ours;
    ASSERT_EQ(ReplacementFile::Create(original, &ours), 0);
    ASSERT_EQ(write(ours.fd(), "ours", 4), 4);
    Save("first save");
    ASSERT_EQ(ours.Exchange(), 0);
    Save("second save");
    EXPECT_EQ(ours.Settle(), ESTALE);
  }
  EXPECT_EQ(Read(m_name), "second save");
  EXPECT_EQ(Contents(), (std::vector<std::string>{"first save", "second save"}));
}

}  // namespace
