#pragma once

// Windows paths inside a Wine prefix: where the prefix is, how a path is made
// full, and which host file it names. Linux only, and only for platform/.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The longest path, in UTF-16 units, that Wine's A functions take: they
// convert it into a buffer of MAX_PATH characters plus the terminating zero.
// Longer names are not found, which also bounds how deep a walk can go.
inline constexpr std::size_t kMaxPath = 260;

// The host folder of the prefix in use (UseWinePrefix, wine_prefix.h),
// without trailing slashes; empty when there is none.
std::string WinePrefix();

// Appends WinePrefix() to *out, for paths built in one go; false when there
// is no prefix in use.
bool AppendWinePrefix(std::string* out);

// The process's current folder as Wine shows it ("Z:\home\me"): the drive
// whose host folder holds the working directory most closely (C: inside
// drive_c, Z: elsewhere from a usual prefix). Empty when no drive holds it.
std::u16string CurrentFolder();

// FullPathName (windows_path.h) of an ANSI path against CurrentFolder()
// (asked only when the path is not already absolute). nullopt when the path
// is not valid text in the ANSI code page, is longer than the A functions
// take (its length plus `reservedUnits`, e.g. 4 for a "\*.*" pattern,
// exceeds kMaxPath), or cannot be made full.
std::optional<std::u16string> FullAnsiPath(std::string_view ansiPath, std::size_t reservedUnits = 0);

// Characters Wine refuses in a file name (ERROR_INVALID_NAME), and "/",
// which would reach the host as a separator: a path holding one names
// nothing. A ":" after the drive is an ordinary character to Wine, which
// opens "a:b.wrl" as the host file of that name.
inline bool IsForbiddenInName(char16_t c) {
  return c < 0x20 || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'/';
}

// A host file found for a Windows path, with the status stat() gave it.
struct HostFile {
  std::string path;                   // host path, components spelt as found on disk
  std::size_t driveFolderLength = 0;  // path[0, driveFolderLength) is the drive's folder
  bool isFolder = false;
  std::uint32_t mode = 0;  // st_mode
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// The host file a full path names (as FullPathName gives it): the drive
// through <prefix>/dosdevices/<x>: (drive C: through <prefix>/drive_c when
// the prefix has no dosdevices folder), then each component as spelt when
// that exists, else the first folder entry equal to it ignoring case. Links
// are followed. nullopt when nothing is there: no such drive, a missing or
// dangling name, a name holding a character Windows forbids (< 0x20 or
// * ? " < > |), a final "\" on something that is not a folder, a last
// component Windows takes for a device (IsDeviceName: "nul.wrl" is no file
// to Windows, whatever the folder holds), or a UNC or device path. Costs one
// stat() when the path is spelt as on disk.
std::optional<HostFile> FindHostFile(std::u16string_view fullPath);

// FindHostFile for a folder to read: the folder opened with O_RDONLY |
// O_DIRECTORY | O_CLOEXEC, described in *folder, or -1 with errno set when
// FindHostFile finds no folder there (ENOENT, ENOTDIR) or it cannot be
// opened. Costs one open() and one fstat() when the path is spelt as on
// disk.
int OpenHostFolder(std::u16string_view fullPath, HostFile* folder);

// FindHostFile(FullAnsiPath(ansiPath)).
std::optional<HostFile> FindHostFile(std::string_view ansiPath);

// The st_mode of what FindHostFile(ansiPath) finds, for callers that need
// no host path; nullopt as FindHostFile. A plain ASCII path spelt as on disk
// costs one stat() and no allocation.
std::optional<std::uint32_t> FindHostMode(std::string_view ansiPath);

// Host path of whatever an ANSI Windows path names; nullopt as FindHostFile.
std::optional<std::string> HostPath(std::string_view ansiPath);

}  // namespace platform
