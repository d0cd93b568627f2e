#include "platform/paths/wine_prefix.h"

#include <dirent.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/paths/wine_path_posix.h"
#include "platform/text/code_page.h"

namespace platform {
namespace {

// Where users keep Wine prefixes besides ~/.wine: a folder under the home
// folder, and the start of the names there that can be prefixes. Wine's
// own custom (~/.wine-name), Bottles and its Flatpak home, Lutris,
// PlayOnLinux.
struct SearchPlace {
  std::string_view folder;
  std::string_view namePrefix;
};
constexpr SearchPlace kSearchPlaces[] = {
    {"", ".wine"}, {".local/share/bottles/bottles", ""}, {".var/app/com.usebottles.bottles/data/bottles/bottles", ""},
    {"Games", ""}, {".PlayOnLinux/wineprefix", ""},
};
constexpr std::string_view kDefaultName = ".wine";

struct PrefixInUse {
  std::mutex mutex;
  WinePrefixFolder folder;
};

PrefixInUse& InUse() {
  static PrefixInUse inUse;
  return inUse;
}

void RemoveTrailingSlashes(std::string* path) {
  while (path->size() > 1 && path->back() == '/') path->pop_back();
}

std::string PasswordHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr)
    return {};
  return found->pw_dir;
}

// $HOME, else the password database's home folder; empty when neither is known.
std::string HomeFolder() {
  const char* variable = getenv("HOME");
  std::string home = variable != nullptr && *variable != '\0' ? std::string(variable) : PasswordHome();
  RemoveTrailingSlashes(&home);
  return home;
}

// `folder` joined to `name`; the root folder gets no second slash.
std::string Joined(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path.append(name);
  return path;
}

// The path as ANSI text, the home folder written "~" as users write it.
std::string TextOf(const std::string& path, const std::string& home) {
  const bool underHome =
      home.size() > 1 && path.starts_with(home) && (path.size() == home.size() || path[home.size()] == '/');
  return HostNameToAnsi(underHome ? "~" + path.substr(home.size()) : path);
}

bool IsFolder(const std::string& path, struct stat* status) {
  return stat(path.c_str(), status) == 0 && S_ISDIR(status->st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return IsFolder(path, &status);
}

bool LooksLikePrefix(const std::string& path) { return IsFolder(path + "/dosdevices") || IsFolder(path + "/drive_c"); }

// The names in a folder that start with `namePrefix`, sorted; none when it
// cannot be read.
std::vector<std::string> SortedNames(const std::string& folder, std::string_view namePrefix) {
  std::vector<std::string> names;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !name.starts_with(namePrefix)) continue;
    names.emplace_back(name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

struct FolderIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderIdentity&) const = default;
};

std::string SearchPlaceText(const SearchPlace& place) {
  std::string text = "~/";
  if (!place.folder.empty()) text.append(place.folder).append("/");
  return text.append(place.namePrefix).append("*");
}

}  // namespace

bool AppendWinePrefix(std::string* out) {
  PrefixInUse& inUse = InUse();
  std::lock_guard<std::mutex> lock(inUse.mutex);
  out->append(inUse.folder.hostPath);
  return !inUse.folder.hostPath.empty();
}

std::optional<WinePrefixFolder> WinePrefixFromEnvironment() {
  const std::string home = HomeFolder();
  if (const char* named = getenv("WINEPREFIX"); named != nullptr && *named != '\0') {
    std::string path = named;
    if (path.front() != '/') {
      // Taken from the current folder, as the user meant it when typing it.
      char* current = getcwd(nullptr, 0);
      if (current == nullptr) return std::nullopt;
      std::string_view relative = path;
      while (relative.starts_with("./")) relative.remove_prefix(2);
      std::string absolute = Joined(current, relative);
      free(current);
      path = std::move(absolute);
    }
    RemoveTrailingSlashes(&path);
    return WinePrefixFolder{path, TextOf(path, home), WinePrefixOrigin::kNamed};
  }
  if (home.empty()) return std::nullopt;
  const std::string path = Joined(home, kDefaultName);
  return WinePrefixFolder{path, TextOf(path, home), WinePrefixOrigin::kDefault};
}

std::vector<WinePrefixFolder> OtherWinePrefixes() {
  std::vector<WinePrefixFolder> found;
  const std::string home = HomeFolder();
  if (home.empty()) return found;
  // A link such as ~/.wine-old -> .wine names a prefix already seen.
  std::vector<FolderIdentity> seen;
  struct stat status;
  if (IsFolder(Joined(home, kDefaultName), &status)) seen.push_back({status.st_dev, status.st_ino});
  for (const SearchPlace& place : kSearchPlaces) {
    const std::string folder = place.folder.empty() ? home : Joined(home, place.folder);
    for (const std::string& name : SortedNames(folder, place.namePrefix)) {
      std::string path = Joined(folder, name);
      if (!IsFolder(path, &status) || !LooksLikePrefix(path)) continue;
      const FolderIdentity identity{status.st_dev, status.st_ino};
      if (std::find(seen.begin(), seen.end(), identity) != seen.end()) continue;
      seen.push_back(identity);
      std::string text = TextOf(path, home);
      found.push_back({std::move(path), std::move(text), WinePrefixOrigin::kFound});
    }
  }
  return found;
}

std::vector<std::string> WinePrefixSearchPlaces() {
  std::vector<std::string> places;
  for (const SearchPlace& place : kSearchPlaces) places.push_back(SearchPlaceText(place));
  return places;
}

void UseWinePrefix(const WinePrefixFolder& folder) {
  PrefixInUse& inUse = InUse();
  std::lock_guard<std::mutex> lock(inUse.mutex);
  inUse.folder = folder;
  RemoveTrailingSlashes(&inUse.folder.hostPath);
}

WinePrefixFolder WinePrefixInUse() {
  PrefixInUse& inUse = InUse();
  std::lock_guard<std::mutex> lock(inUse.mutex);
  return inUse.folder;
}

std::vector<std::string> WinePrefixesSearched() {
  const WinePrefixFolder inUse = WinePrefixInUse();
  // Only ~/.wine in use means every place was searched and none held it.
  if (!inUse.hostPath.empty() && inUse.origin != WinePrefixOrigin::kDefault) return {inUse.text};
  std::vector<std::string> searched = {inUse.hostPath.empty() ? "~/" + std::string(kDefaultName) : inUse.text};
  for (std::string& place : WinePrefixSearchPlaces()) searched.push_back(std::move(place));
  return searched;
}

std::optional<std::string> FolderThatIsNoWinePrefix() {
  const WinePrefixFolder inUse = WinePrefixInUse();
  if (inUse.origin != WinePrefixOrigin::kNamed || inUse.hostPath.empty() || LooksLikePrefix(inUse.hostPath))
    return std::nullopt;
  return inUse.text;
}

}  // namespace platform
