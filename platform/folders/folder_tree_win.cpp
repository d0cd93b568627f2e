#include "platform/folders/folder_tree.h"

#include <windows.h>

#include <utility>

#include "platform/files/file_handle_win.h"
#include "platform/folders/folder_enumeration_win.h"
#include "platform/paths/windows_path.h"

namespace platform {

struct FolderListing::Host {};

struct FolderTree::Bounds {
  std::wstring root;  // the root's final path, every link in it resolved

  bool Holds(const std::wstring& finalPath) const { return IsWithin(finalPath, root); }
};

namespace {

// The names the scan takes for world files (it compares them exactly).
constexpr std::string_view kWorldSuffix = ".wrl";

// Whether an entry must be followed to where it leads before it is listed.
// Links say so on Windows. Wine shows a link to a file as a plain file,
// without the reparse point, and finding out means opening the file (about a
// millisecond there): only the names the scan may take for a world are.
bool NeedsFollowing(const FoundEntry& found) {
  if (found.isReparsePoint) return true;
  return !found.entry.isFolder && RunsUnderWine() && found.entry.name.ends_with(kWorldSuffix);
}

}  // namespace

FolderListing::FolderListing() : m_host(std::make_unique<Host>()) {}
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;
FolderListing::~FolderListing() = default;

std::optional<FileStatus> FolderListing::StatusOf(std::size_t i) const { return GetFileStatus(m_entries[i].fullPath); }

FolderTree::FolderTree(std::unique_ptr<Bounds> bounds) : m_bounds(std::move(bounds)) {}
FolderTree::FolderTree(FolderTree&&) noexcept = default;
FolderTree& FolderTree::operator=(FolderTree&&) noexcept = default;
FolderTree::~FolderTree() = default;

std::optional<FolderTree> FolderTree::Open(std::string_view root) {
  if (root.empty() || root.find('\0') != std::string_view::npos) return std::nullopt;
  const std::optional<std::string> folder = FolderPartOfFullPath(std::string(root) + "\\*.*");
  if (!folder) return std::nullopt;
  std::optional<FinalTarget> target = FinalTargetOf(*folder);
  if (!target || !target->isFolder) return std::nullopt;
  auto bounds = std::make_unique<Bounds>();
  bounds->root = std::move(target->finalPath);
  return FolderTree(std::move(bounds));
}

bool FolderTree::Contains(std::string_view path) const {
  if (path.find('\0') != std::string_view::npos) return false;
  const std::optional<FinalTarget> target = FinalTargetOf(std::string(path));
  return target && m_bounds->Holds(target->finalPath);
}

std::optional<FolderListing> FolderTree::List(std::string_view folder) {
  std::optional<FolderSearch> search = SearchFolder(folder);
  if (!search) return std::nullopt;
  const std::optional<FinalTarget> self = FinalTargetOf(search->base);
  if (!self || !m_bounds->Holds(self->finalPath)) return std::nullopt;

  FolderListing listing;
  listing.m_id = self->id;
  const unsigned codePage = GetACP();
  for (FoundEntry& found : search->found) {
    FolderEntry& entry = found.entry;
    const bool dots = entry.name == "." || entry.name == "..";
    if (!dots && !IsOneNameComponent(entry.name, codePage)) continue;
    if (!dots && NeedsFollowing(found)) {
      const std::optional<FinalTarget> target = FinalTargetOf(entry.fullPath);
      if (!target || !m_bounds->Holds(target->finalPath)) continue;
    }
    listing.m_entries.push_back(std::move(entry));
  }
  return listing;
}

}  // namespace platform
