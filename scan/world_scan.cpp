#include "scan/world_scan.h"

#include <cstddef>
#include <optional>
#include <set>
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

// Tells ScanOptions::onSkip, when set, what the walk passes by.
class SkipReport {
 public:
  explicit SkipReport(const ScanOptions& options) : m_onSkip(options.onSkip) {}

  void Tell(ScanSkipReason reason, const std::string& path, std::size_t depth) const {
    if (m_onSkip) m_onSkip(ScanSkip{reason, path, depth, std::nullopt});
  }

  // A failure of the platform; `otherwise` when it is neither a way out nor
  // a path too long.
  void TellFailure(const platform::IoError& error, const std::string& path, std::size_t depth,
                   ScanSkipReason otherwise) const {
    if (!m_onSkip) return;
    ScanSkipReason reason = otherwise;
    if (error.kind == platform::IoErrorKind::kOutside) reason = ScanSkipReason::kLeadsOut;
    if (platform::IsPathTooLong(error)) reason = ScanSkipReason::kPathTooLong;
    m_onSkip(ScanSkip{reason, path, depth, error});
  }

 private:
  const std::function<void(const ScanSkip&)>& m_onSkip;
};

// One folder being walked: what a recursive call would keep in its frame.
struct FolderWalk {
  platform::FolderListing listing;
  std::size_t depth = 0;  // of the folder; its entries are one deeper
  bool excluded = false;
  std::size_t next = 0;
  // Index into the entries of the last world file found in this folder.
  std::optional<std::size_t> remembered;

  const platform::FolderEntry& Entry(std::size_t index) const { return listing.entries()[index]; }
};

// The whole walk: the tree, the folders listed so far, and where to tell.
class TreeWalk {
 public:
  TreeWalk(const platform::FolderTree& tree, WorldFileList& list, const SkipReport& report)
      : m_tree(tree), m_list(list), m_report(report) {}

  // Lists a folder just opened and puts it on the stack, unless it was
  // listed before or cannot be listed.
  void Start(platform::IoResult<platform::FolderHandle> opened, const std::string& path, std::size_t depth,
             bool excluded) {
    if (!opened) return m_report.TellFailure(opened.error(), path, depth, ScanSkipReason::kCannotList);
    if (!m_visited.insert(opened->id()).second) return m_report.Tell(ScanSkipReason::kAlreadyVisited, path, depth);
    platform::IoResult<platform::FolderListing> listing = m_tree.List(std::move(*opened));
    if (!listing) return m_report.TellFailure(listing.error(), path, depth, ScanSkipReason::kCannotList);
    for (const platform::LeftOutEntry& left : listing->leftOut()) {
      const bool onTheWay = left.reason == platform::LeftOutReason::kOnTheWay;
      m_report.Tell(onTheWay ? ScanSkipReason::kAlreadyVisited : ScanSkipReason::kNotAName, left.fullPath, depth + 1);
    }
    m_stack.push_back(FolderWalk{std::move(*listing), depth, excluded, 0, std::nullopt});
  }

  // Depth-first with an explicit stack rather than by recursion, so that a
  // very deep tree cannot exhaust the call stack; the order of the list is
  // the one a recursive walk gives.
  void Run() {
    while (!m_stack.empty()) {
      FolderWalk& walk = m_stack.back();
      if (walk.next == walk.listing.entries().size()) {
        m_stack.pop_back();
        continue;
      }
      const std::size_t index = walk.next++;
      const platform::FolderEntry& entry = walk.Entry(index);
      if (IsDotEntry(entry.name)) continue;
      if (!walk.excluded) NoteEntry(walk, index);
      if (!entry.isFolder) continue;
      // `walk` and `entry` are not used after the push, which may move them.
      const std::size_t depth = walk.depth + 1;
      Start(m_tree.OpenEntry(walk.listing, index), entry.fullPath, depth, IsExcludedFolder(entry.fullPath));
    }
  }

 private:
  // The remembered file is offered again after every later entry, so that
  // it is listed once more after a sub-folder has listed files of its own.
  // Its status is read again before each time it would be listed: a file
  // that has gone since it was found is not listed. While it is still the
  // last path of the list nothing would be appended whatever the status
  // says, so it is not read then; and a status read a moment ago for the
  // entry itself is not read again. That leaves one status read for almost
  // every world file.
  void NoteEntry(FolderWalk& walk, std::size_t index) {
    const platform::FolderEntry& entry = walk.Entry(index);
    bool justRead = false;
    if (EndsWith(entry.fullPath, kWorldSuffix)) {
      const platform::IoResult<platform::FileStatus> status = walk.listing.StatusOf(index);
      if (status) {
        walk.remembered = index;
        justRead = true;
      } else {
        m_report.TellFailure(status.error(), entry.fullPath, walk.depth + 1, ScanSkipReason::kCannotRead);
      }
    }
    if (!walk.remembered) return;
    const std::string& path = walk.Entry(*walk.remembered).fullPath;
    if (!m_list.empty() && m_list.back() == path) return;
    if (justRead || walk.listing.StatusOf(*walk.remembered).ok()) m_list.push_back(path);
  }

  const platform::FolderTree& m_tree;
  WorldFileList& m_list;
  const SkipReport& m_report;
  std::set<platform::FolderId> m_visited;
  std::vector<FolderWalk> m_stack;
};

}  // namespace

void CollectWorldFiles(const std::string& folder, WorldFileList& list) { ScanWorldFiles(folder, list, {}); }

// The walk stays inside the folder: the world folder is untrusted input,
// and what leads out of it is not followed.
void ScanWorldFiles(const std::string& folder, WorldFileList& list, const ScanOptions& options) {
  const SkipReport report(options);
  platform::IoResult<platform::FolderTree> tree = platform::FolderTree::Open(folder);
  if (!tree) return report.TellFailure(tree.error(), folder, 0, ScanSkipReason::kCannotList);
  TreeWalk walk(*tree, list, report);
  // The root is tested as passed in, every deeper folder as listed.
  walk.Start(tree->OpenRoot(), folder, 0, IsExcludedFolder(folder));
  walk.Run();
}
