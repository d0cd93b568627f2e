#include "platform/paths/wine_path_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/paths/folder_listing_cache_posix.h"
#include "platform/paths/windows_path.h"
#include "platform/text/code_page.h"
#include "platform/text/code_page_posix.h"

namespace platform {
namespace {

char LowerDriveLetter(char16_t c) { return static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c); }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsUncOrDevice(std::u16string_view path) {
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool Exists(const std::string& path, struct stat* status) { return stat(path.c_str(), status) == 0; }

bool IsMissing(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) != 0 && errno == ENOENT;
}

void AppendDosDeviceLink(char16_t letter, std::string* out) {
  out->append("/dosdevices/");
  out->push_back(LowerDriveLetter(letter));
  out->push_back(':');
}

std::string DosDeviceLink(const std::string& prefix, char16_t letter) {
  std::string link = prefix;
  AppendDosDeviceLink(letter, &link);
  return link;
}

// The host folder of a drive as a path through the prefix, with its status,
// or empty when the prefix has no such drive.
std::string DriveFolder(const std::string& prefix, char16_t letter, struct stat* status) {
  std::string link = DosDeviceLink(prefix, letter);
  if (Exists(link, status)) return link;
  if (LowerDriveLetter(letter) != 'c' || !IsMissing(prefix + "/dosdevices")) return {};
  std::string driveC = prefix + "/drive_c";
  return Exists(driveC, status) ? driveC : std::string();
}

// The next component of `rest` (the part of a full path after "X:\") from
// *i on, skipping empty ones; false at the end.
template <typename Char>
bool NextComponent(std::basic_string_view<Char> rest, size_t* i, std::basic_string_view<Char>* component) {
  while (*i < rest.size()) {
    size_t end = rest.find(Char('\\'), *i);
    if (end == rest.npos) end = rest.size();
    *component = rest.substr(*i, end - *i);
    *i = end + 1;
    if (!component->empty()) return true;
  }
  return false;
}

// Appends "/" and the host name of each component of `rest`; false when one
// of them cannot name a host file.
bool AppendComponentHostName(std::u16string_view name, std::string* path) { return AppendHostName(name, path); }
bool AppendComponentHostName(std::string_view asciiName, std::string* path) {
  path->append(asciiName);
  return true;
}

template <typename Char>
bool AppendHostComponents(std::basic_string_view<Char> rest, std::string* path) {
  std::basic_string_view<Char> component;
  for (size_t i = 0; NextComponent(rest, &i, &component);) {
    const bool dots = component.size() <= 2 && component.find_first_not_of(Char('.')) == component.npos;
    if (dots) return false;  // "." or ".."
    for (Char c : component)
      if (IsForbiddenInName(c)) return false;
    path->push_back('/');
    if (!AppendComponentHostName(component, path)) return false;
  }
  return true;
}

HostFile MakeHostFile(std::string path, size_t driveFolderLength, const struct stat& status) {
  HostFile file;
  file.path = std::move(path);
  file.driveFolderLength = driveFolderLength;
  file.isFolder = S_ISDIR(status.st_mode);
  file.mode = status.st_mode;
  file.device = status.st_dev;
  file.inode = status.st_ino;
  return file;
}

// A full path's host path as spelt: the prefix, the drive's link in
// dosdevices, then each component as its UTF-8 name.
struct SpeltPath {
  std::string path;
  size_t prefixLength = 0;
  size_t driveFolderLength = 0;
};

// False when the path is not "X:\...", there is no prefix, or a component
// cannot name a host file.
template <typename Char>
bool SpellHostPath(std::basic_string_view<Char> fullPath, SpeltPath* spelt) {
  if (!IsDriveAbsolute(fullPath)) return false;
  std::string& path = spelt->path;
  path.clear();
  // Room for a usual prefix and an ASCII path, so that it is built in one go.
  path.reserve(fullPath.size() + 96);
  if (!AppendWinePrefix(&path)) return false;
  spelt->prefixLength = path.size();
  AppendDosDeviceLink(fullPath[0], &path);
  spelt->driveFolderLength = path.size();
  return AppendHostComponents(fullPath.substr(3), &path);
}

// The slow way, once the path as spelt was not found: component by
// component, each as spelt when it exists, else the first entry that equals
// it ignoring case. `rest` is the part after "X:\", already checked by
// AppendHostComponents.
std::optional<HostFile> WalkIgnoringCase(const std::string& prefix, char16_t letter, std::u16string_view rest) {
  struct stat status;
  std::string path = DriveFolder(prefix, letter, &status);
  if (path.empty()) return std::nullopt;
  const size_t driveFolderLength = path.size();
  std::string hostName;
  std::u16string_view name;
  for (size_t i = 0; NextComponent(rest, &i, &name);) {
    if (!S_ISDIR(status.st_mode)) return std::nullopt;
    hostName.clear();
    if (!AppendHostName(name, &hostName) || !StepInto(&path, name, hostName, &status)) return std::nullopt;
  }
  return MakeHostFile(std::move(path), driveFolderLength, status);
}

// Most paths are plain ASCII and already full: they are then their own
// UTF-16 text and host names, and need no conversion.
bool IsPlainFullPath(std::string_view ansiPath) {
  return ansiPath.size() <= kMaxPath && IsAlreadyFull(ansiPath) && AnsiCodec().KeepsUnchanged(ansiPath);
}

std::u16string_view Utf16Text(std::u16string_view text, std::u16string*) { return text; }
std::u16string_view Utf16Text(std::string_view ascii, std::u16string* wide) {
  wide->assign(ascii.begin(), ascii.end());
  return *wide;
}

// FindHostFile, building the host path in *spelt. Without `keepPath` a
// path spelt as on disk stays there and the result's path is left empty.
template <typename Char>
std::optional<HostFile> FindFullPath(std::basic_string_view<Char> fullPath, SpeltPath* spelt, bool keepPath) {
  const bool mustBeFolder = fullPath.size() > 3 && fullPath.back() == Char('\\');
  if (!mustBeFolder && IsDeviceName(fullPath.substr(fullPath.rfind(Char('\\')) + 1))) return std::nullopt;
  if (!SpellHostPath(fullPath, spelt)) return std::nullopt;
  // The usual case: the path is spelt as on disk, and one stat() settles it.
  struct stat status;
  std::optional<HostFile> file;
  if (Exists(spelt->path, &status)) {
    file = MakeHostFile(keepPath ? std::move(spelt->path) : std::string(), spelt->driveFolderLength, status);
  } else if (errno == ENOENT || errno == ENOTDIR) {
    spelt->path.resize(spelt->prefixLength);
    std::u16string wide;
    file = WalkIgnoringCase(spelt->path, fullPath[0], Utf16Text(fullPath.substr(3), &wide));
  }
  if (file && mustBeFolder && !file->isFolder) return std::nullopt;
  return file;
}

}  // namespace

std::string WinePrefix() {
  std::string prefix;
  AppendWinePrefix(&prefix);
  return prefix;
}

std::u16string CurrentFolder() {
  const std::string prefix = WinePrefix();
  if (prefix.empty()) return {};
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) return {};
  const std::string working = cwd;
  free(cwd);

  const bool noDosDevices = IsMissing(prefix + "/dosdevices");
  char16_t bestLetter = 0;
  std::string bestFolder;
  for (char16_t letter = u'a'; letter <= u'z'; ++letter) {
    std::string folder =
        noDosDevices ? (letter == u'c' ? prefix + "/drive_c" : std::string()) : DosDeviceLink(prefix, letter);
    if (folder.empty()) continue;
    char* resolved = realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) continue;
    std::string target = resolved;
    free(resolved);
    const bool holds = target == "/" || working == target ||
                       (working.size() > target.size() && working.compare(0, target.size(), target) == 0 &&
                        working[target.size()] == '/');
    // The deepest drive wins: C: inside drive_c, though Z: holds it too.
    if (holds && (bestLetter == 0 || target.size() > bestFolder.size())) {
      bestLetter = letter;
      bestFolder = std::move(target);
    }
  }
  if (bestLetter == 0) return {};

  std::string below = working.substr(bestFolder == "/" ? 1 : bestFolder.size());
  while (!below.empty() && below.front() == '/') below.erase(0, 1);
  std::u16string folder = {static_cast<char16_t>(bestLetter - u'a' + u'A'), u':', u'\\'};
  for (char16_t c : HostNameToUtf16(below)) folder += c == u'/' ? u'\\' : c;
  return folder;
}

std::optional<std::u16string> FullAnsiPath(std::string_view ansiPath, std::size_t reservedUnits) {
  std::optional<std::u16string> text = AnsiToUtf16Strict(ansiPath);
  if (!text || text->empty() || text->size() + reservedUnits > kMaxPath) return std::nullopt;
  const std::u16string_view path = *text;
  if (IsAlreadyFull(path)) return text;
  const bool absolute = IsUncOrDevice(path) || (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2]));
  std::u16string full = FullPathName(*text, absolute ? std::u16string() : CurrentFolder());
  if (full.empty()) return std::nullopt;
  return full;
}

std::optional<HostFile> FindHostFile(std::u16string_view fullPath) {
  SpeltPath spelt;
  return FindFullPath(fullPath, &spelt, true);
}

int OpenHostFolder(std::u16string_view fullPath, HostFile* folder) {
  SpeltPath spelt;
  if (!SpellHostPath(fullPath, &spelt)) {
    errno = ENOENT;
    return -1;
  }
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  struct stat status;
  if (const int fd = open(spelt.path.c_str(), kFlags); fd >= 0) {
    if (fstat(fd, &status) == 0) {
      *folder = MakeHostFile(std::move(spelt.path), spelt.driveFolderLength, status);
      return fd;
    }
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  // ENOTDIR: something on the way, or the path itself, is no folder as
  // spelt; the walk tells which.
  if (errno != ENOENT && errno != ENOTDIR) return -1;
  spelt.path.resize(spelt.prefixLength);
  std::optional<HostFile> found = WalkIgnoringCase(spelt.path, fullPath[0], fullPath.substr(3));
  if (!found || !found->isFolder) {
    errno = found ? ENOTDIR : ENOENT;
    return -1;
  }
  const int fd = open(found->path.c_str(), kFlags);
  if (fd >= 0) *folder = std::move(*found);
  return fd;
}

std::optional<HostFile> FindHostFile(std::string_view ansiPath) {
  if (IsPlainFullPath(ansiPath)) {
    SpeltPath spelt;
    return FindFullPath(ansiPath, &spelt, true);
  }
  std::optional<std::u16string> full = FullAnsiPath(ansiPath);
  if (!full) return std::nullopt;
  return FindHostFile(std::u16string_view(*full));
}

std::optional<std::uint32_t> FindHostMode(std::string_view ansiPath) {
  std::optional<HostFile> file;
  if (IsPlainFullPath(ansiPath)) {
    // Kept per thread, so that the path is built where the last one was.
    thread_local SpeltPath spelt;
    file = FindFullPath(ansiPath, &spelt, false);
  } else {
    file = FindHostFile(ansiPath);
  }
  if (!file) return std::nullopt;
  return file->mode;
}

std::optional<std::string> HostPath(std::string_view ansiPath) {
  std::optional<HostFile> file = FindHostFile(ansiPath);
  if (!file) return std::nullopt;
  return std::move(file->path);
}

}  // namespace platform
