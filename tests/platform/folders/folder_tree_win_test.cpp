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

using platform::FolderHandle;
using platform::FolderListing;
using platform::FolderTree;
using platform::IoErrorKind;
using platform::IoResult;
using testing_support::HostOutput;
using testing_support::UnixPathOf;

const std::string kWorld = "C:\\tree";

std::vector<std::string> Names(const FolderListing& listing) {
  std::vector<std::string> names;
  names.reserve(listing.entries().size());
  for (const platform::FolderEntry& entry : listing.entries()) names.push_back(entry.name);
  return names;
}

// The index of the entry `name`; past the end when there is none.
std::size_t IndexOf(const FolderListing& listing, const std::string& name) {
  const std::vector<std::string> names = Names(listing);
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

IoResult<FolderListing> ListRoot(const FolderTree& tree) {
  IoResult<FolderHandle> root = tree.OpenRoot();
  if (!root) return root.error();
  return tree.List(std::move(*root));
}

IoResult<FolderListing> ListEntry(const FolderTree& tree, const FolderListing& parent, const std::string& name) {
  IoResult<FolderHandle> folder = tree.OpenEntry(parent, IndexOf(parent, name));
  if (!folder) return folder.error();
  return tree.List(std::move(*folder));
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
  IoResult<FolderTree> tree = FolderTree::Open(kWorld);
  ASSERT_TRUE(tree);
  IoResult<FolderListing> root = ListRoot(*tree);
  ASSERT_TRUE(root);
  EXPECT_EQ(Names(*root), (std::vector<std::string>{".", "..", "a", "b", "real"}));
  IoResult<FolderListing> real = ListEntry(*tree, *root, "real");
  ASSERT_TRUE(real);
  for (const char* link : {"a", "b"}) {
    IoResult<FolderListing> through = ListEntry(*tree, *root, link);
    ASSERT_TRUE(through) << link;
    EXPECT_EQ(through->id(), real->id()) << link;
    EXPECT_EQ(Names(*through), Names(*real)) << link;
    // The link back to the folder itself is on the way, whichever way led there.
    ASSERT_EQ(through->leftOut().size(), 1u) << link;
    EXPECT_EQ(through->leftOut()[0].reason, platform::LeftOutReason::kOnTheWay) << link;
  }
  EXPECT_NE(root->id(), real->id());
}

TEST_F(FolderTreeWinTest, UnderWineOnlyWorldNamesAreFollowedToWhereTheyLead) {
  m_prefix.WriteFile(kWorld + "\\a.wrl", "a");
  m_prefix.WriteFile("C:\\elsewhere\\o.wrl", "o");
  if (!MakeLinks("ln -s a.wrl in.wrl && ln -s ../elsewhere/o.wrl out.wrl && ln -s ../elsewhere/o.wrl out.gif &&"
                 " ln -s ../elsewhere outdir"))
    GTEST_SKIP() << "needs Wine's host to make links";
  IoResult<FolderTree> tree = FolderTree::Open(kWorld);
  ASSERT_TRUE(tree);
  IoResult<FolderListing> root = ListRoot(*tree);
  ASSERT_TRUE(root);
  // Links stay listed: where they lead is told when they are used.
  ASSERT_EQ(Names(*root), (std::vector<std::string>{".", "..", "a.wrl", "in.wrl", "out.gif", "out.wrl", "outdir"}));
  EXPECT_TRUE(root->StatusOf(IndexOf(*root, "a.wrl")));
  EXPECT_TRUE(root->StatusOf(IndexOf(*root, "in.wrl")));
  const auto outside = [](const auto& result) { return !result && result.error().kind == IoErrorKind::kOutside; };
  EXPECT_TRUE(outside(root->StatusOf(IndexOf(*root, "out.wrl"))));
  EXPECT_TRUE(outside(tree->OpenEntry(*root, IndexOf(*root, "outdir"))));
  // Not a world's name: told as it looks, not opened to find out.
  EXPECT_TRUE(root->StatusOf(IndexOf(*root, "out.gif")));
}

}  // namespace
