// The Windows folder tree where Wine's host makes links: a folder has one
// id whatever link leads to it, so that a walk visits it once, and under
// Wine only the names a scan takes for worlds are followed to where they
// lead (finding out opens the file).
#include "platform/folders/folder_tree.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/platform/wine_host_win.h"
#include "tests/support/test_prefix.h"

namespace {

using platform::FolderListing;
using platform::FolderTree;
using testing_support::HostOutput;
using testing_support::UnixPathOf;

const std::string kWorld = "C:\\tree";

std::vector<std::string> Names(const FolderListing& listing) {
  std::vector<std::string> names;
  for (const platform::FolderEntry& entry : listing.entries()) names.push_back(entry.name);
  return names;
}

bool Lists(const FolderListing& listing, const std::string& name) {
  const std::vector<std::string> names = Names(listing);
  return std::find(names.begin(), names.end(), name) != names.end();
}

class FolderTreeWinTest : public testing::Test {
 protected:
  // Makes the links `script` makes inside the world folder on the host;
  // false outside Wine.
  bool MakeLinks(const std::string& script) {
    m_prefix.MakeFolder(kWorld);
    m_world = UnixPathOf(kWorld);
    return m_world && HostOutput("cd '" + *m_world + "' && " + script);
  }
  // Links go through the host: Wine would delete what a link to a file
  // leads to.
  void TearDown() override {
    if (m_world) HostOutput("find '" + *m_world + "' -type l -delete");
  }

  testing_support::TestPrefix m_prefix;
  std::optional<std::string> m_world;
};

TEST_F(FolderTreeWinTest, AFolderHasOneIdWhateverLinkLeadsToIt) {
  m_prefix.WriteFile(kWorld + "\\real\\w.wrl", "w");
  if (!MakeLinks("ln -s real a && ln -s real b && ln -s ../real real/again"))
    GTEST_SKIP() << "needs Wine's host to make links";
  std::optional<FolderTree> tree = FolderTree::Open(kWorld);
  ASSERT_TRUE(tree);
  std::optional<FolderListing> root = tree->List(kWorld);
  ASSERT_TRUE(root);
  EXPECT_EQ(Names(*root), (std::vector<std::string>{".", "..", "a", "b", "real"}));
  std::optional<FolderListing> real = tree->List(kWorld + "\\real");
  ASSERT_TRUE(real);
  for (const std::string& path : {kWorld + "\\a", kWorld + "\\b", kWorld + "\\real\\again", kWorld + "\\a\\again"}) {
    std::optional<FolderListing> through = tree->List(path);
    ASSERT_TRUE(through) << path;
    EXPECT_EQ(through->id(), real->id()) << path;
    EXPECT_EQ(Names(*through), Names(*real)) << path;
  }
  EXPECT_NE(root->id(), real->id());
}

TEST_F(FolderTreeWinTest, UnderWineOnlyWorldNamesAreFollowedToWhereTheyLead) {
  m_prefix.WriteFile(kWorld + "\\a.wrl", "a");
  m_prefix.WriteFile("C:\\elsewhere\\o.wrl", "o");
  if (!MakeLinks("ln -s a.wrl in.wrl && ln -s ../elsewhere/o.wrl out.wrl && ln -s ../elsewhere/o.wrl out.gif &&"
                 " ln -s ../elsewhere outdir"))
    GTEST_SKIP() << "needs Wine's host to make links";
  std::optional<FolderTree> tree = FolderTree::Open(kWorld);
  ASSERT_TRUE(tree);
  std::optional<FolderListing> root = tree->List(kWorld);
  ASSERT_TRUE(root);
  EXPECT_TRUE(Lists(*root, "a.wrl"));
  EXPECT_TRUE(Lists(*root, "in.wrl"));
  EXPECT_FALSE(Lists(*root, "out.wrl"));
  EXPECT_FALSE(Lists(*root, "outdir"));
  // Not a world's name: listed as it looks, not opened to find out.
  EXPECT_TRUE(Lists(*root, "out.gif"));
}

}  // namespace
