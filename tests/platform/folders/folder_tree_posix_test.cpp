#include "platform/folders/folder_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/test_prefix.h"

namespace {

namespace fs = std::filesystem;
using platform::FolderListing;
using platform::FolderTree;
using platform::IoErrorKind;
using platform::IoResult;
using testing_support::TestPrefix;

std::size_t IndexOf(const FolderListing& listing, std::string_view name) {
  for (std::size_t i = 0; i < listing.entries().size(); ++i)
    if (listing.entries()[i].name == name) return i;
  ADD_FAILURE() << "no entry " << name;
  return 0;
}

IoResult<FolderListing> ListEntry(const FolderTree& tree, const FolderListing& parent, std::string_view name) {
  IoResult<platform::FolderHandle> folder = tree.OpenEntry(parent, IndexOf(parent, name));
  if (!folder) return folder.error();
  return tree.List(std::move(*folder));
}

// Below the root every folder is reached from its parent's open folder, by
// the name the parent listed: renaming a folder above after it was listed
// changes nothing below it, and a folder swapped for a link out meanwhile
// is judged where it leads once opened.
TEST(FolderTreePosix, FoldersAreReachedFromTheirOpenParent) {
  TestPrefix prefix;
  prefix.WriteFile("C:\\t\\w\\a\\sub\\s.wrl");
  prefix.WriteFile("C:\\t\\w\\a\\swapped\\x.wrl");
  prefix.WriteFile("C:\\t\\w\\a\\file.wrl");
  prefix.WriteFile("C:\\t\\outside\\o.wrl");
  IoResult<FolderTree> tree = FolderTree::Open("C:\\t\\w");
  ASSERT_TRUE(tree.ok());
  IoResult<platform::FolderHandle> rootFolder = tree->OpenRoot();
  ASSERT_TRUE(rootFolder.ok());
  IoResult<FolderListing> root = tree->List(std::move(*rootFolder));
  ASSERT_TRUE(root.ok());
  IoResult<FolderListing> a = ListEntry(*tree, *root, "a");
  ASSERT_TRUE(a.ok());

  const std::string host = prefix.HostPath("C:\\t\\w");
  fs::rename(host + "/a", host + "/renamed");
  fs::rename(host + "/renamed/swapped", host + "/renamed/swapped.old");
  fs::create_directory_symlink(prefix.HostPath("C:\\t\\outside"), host + "/renamed/swapped");
  fs::rename(host + "/renamed/file.wrl", host + "/renamed/file.old");
  fs::create_symlink(prefix.HostPath("C:\\t\\outside\\o.wrl"), host + "/renamed/file.wrl");

  IoResult<FolderListing> sub = ListEntry(*tree, *a, "sub");
  ASSERT_TRUE(sub.ok());
  EXPECT_EQ(sub->entries().back().fullPath, "C:\\t\\w\\a\\sub\\s.wrl");
  EXPECT_TRUE(sub->StatusOf(sub->entries().size() - 1).ok());

  IoResult<FolderListing> swapped = ListEntry(*tree, *a, "swapped");
  ASSERT_FALSE(swapped.ok());
  EXPECT_EQ(swapped.error().kind, IoErrorKind::kOutside);
  EXPECT_EQ(swapped.error().path, "C:\\t\\w\\a\\swapped");
  const IoResult<platform::FileStatus> file = a->StatusOf(IndexOf(*a, "file.wrl"));
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(file.error().kind, IoErrorKind::kOutside);
}

}  // namespace
