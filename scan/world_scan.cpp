#include "scan/world_scan.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/folders/folder_tree.h"

const std::array<ExcludedDirName, 15> ExcludedDirNames = {{
    {"ko-en", 5},
    {"avtwrl", 6},
    {"mirror", 6},
    {"models", 6},
    {"object", 6},
    {"ukisima", 7},
    {"inlines", 7},
    {"base-spa", 8},
    {"component", 9},
    {"base-park", 9},
    {"base-coast", 10},
    {"base-hills", 10},
    {"base-honjo", 10},
    {"base-garden", 11},
    // Never matches the lower-cased path; such folders are left out through
    // "component" instead.
    {"baseComponent", 13},
}};

namespace {

constexpr std::string_view kWorldSuffix = ".wrl";

// Only ASCII letters change: the bytes of a multi-byte ANSI character must
// stay as they are.
std::string LowerCaseAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A test on the tail of the whole path, not on its last component, so
// "...\xmodels" counts as well as "...\models".
bool IsExcludedFolder(std::string_view folder) {
  const std::string lower = LowerCaseAscii(folder);
  for (const ExcludedDirName& excluded : ExcludedDirNames) {
    if (lower.size() < excluded.length) continue;
    if (std::string_view(lower).substr(lower.size() - excluded.length) == excluded.name) return true;
  }
  return false;
}

bool IsDotEntry(std::string_view name) { return name == "." || name == ".."; }

// One folder being walked: what a recursive call would keep in its frame.
struct FolderWalk {
  platform::FolderListing listing;
  std::size_t next = 0;
  bool excluded = false;
  // Index into the entries of the last world file found in this folder.
  std::optional<std::size_t> remembered;

  const platform::FolderEntry& Entry(std::size_t index) const { return listing.entries()[index]; }
  bool Exists(std::size_t index) const { return listing.StatusOf(index).has_value(); }
};

std::optional<FolderWalk> StartFolder(platform::FolderTree& tree, const std::string& folder) {
  std::optional<platform::FolderListing> listing = tree.List(folder);
  if (!listing) return std::nullopt;
  return FolderWalk{std::move(*listing), 0, IsExcludedFolder(folder), std::nullopt};
}

// A folder already being walked further up, reached again through a link
// or a bind mount: walking it again would never end.
bool IsOnTheWay(const std::vector<FolderWalk>& stack, platform::FolderId id) {
  for (const FolderWalk& walk : stack)
    if (walk.listing.id() == id) return true;
  return false;
}

// The remembered file is offered again after every later entry, so that it
// is listed once more after a sub-folder has listed files of its own. Its
// status is read again before each time it would be listed: a file that has
// gone since it was found is not listed. While it is still the last path of
// the list nothing would be appended whatever the status says, so it is not
// read then; that saves a status read for almost every entry.
void NoteEntry(FolderWalk& walk, std::size_t index, WorldFileList& list) {
  if (EndsWith(walk.Entry(index).fullPath, kWorldSuffix) && walk.Exists(index)) walk.remembered = index;
  if (!walk.remembered) return;
  const std::string& path = walk.Entry(*walk.remembered).fullPath;
  if ((list.empty() || list.back() != path) && walk.Exists(*walk.remembered)) list.push_back(path);
}

}  // namespace

// Depth-first with an explicit stack rather than by recursion, so that a
// very deep tree cannot exhaust the call stack; the order of the list is the
// one a recursive walk gives. The walk stays inside the folder: the world
// folder is untrusted input, and what leads out of it is not followed.
void CollectWorldFiles(const std::string& folder, WorldFileList& list) {
  std::optional<platform::FolderTree> tree = platform::FolderTree::Open(folder);
  if (!tree) return;
  std::vector<FolderWalk> stack;
  if (auto root = StartFolder(*tree, folder)) stack.push_back(std::move(*root));
  while (!stack.empty()) {
    FolderWalk& walk = stack.back();
    if (walk.next == walk.listing.entries().size()) {
      stack.pop_back();
      continue;
    }
    const std::size_t index = walk.next++;
    if (IsDotEntry(walk.Entry(index).name)) continue;
    if (!walk.excluded) NoteEntry(walk, index, list);
    const platform::FolderEntry& entry = walk.Entry(index);
    if (!entry.isFolder) continue;
    // `walk` and `entry` are not used after the push, which may move them.
    auto sub = StartFolder(*tree, entry.fullPath);
    if (sub && !IsOnTheWay(stack, sub->listing.id())) stack.push_back(std::move(*sub));
  }
}
