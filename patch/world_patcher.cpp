#include "patch/world_patcher.h"

#include <new>

#include "patch/gzip_codec.h"
#include "patch/world_text.h"

int g_filesWritten = 0;

namespace {

using platform::IoErrorKind;

// The result of a failure once the file is found: the kinds a write can
// fail with keep their own; every other failure to open, read, write or
// replace the file is a failure to open it, bar those of no known kind.
PatchResult ResultOf(const platform::IoError& error) {
  switch (error.kind) {
    case IoErrorKind::kDiskFull: return kDiskFull;
    case IoErrorKind::kAccessDenied: return kAccessDenied;
    case IoErrorKind::kOther: return kOtherIoFailure;
    case IoErrorKind::kNotFound:
    case IoErrorKind::kBusy:
    case IoErrorKind::kNotAFile:
    case IoErrorKind::kOutside:
    case IoErrorKind::kTooLarge:
    case IoErrorKind::kGeneric: return kOpenFailed;
  }
  return kOtherIoFailure;
}

// Steps after the status checks. The file stays held, unshared, from the
// moment it is taken until its new content is in place.
PatchResult PatchFoundFile(platform::WorldFile& file, int mode) {
  // Any failure to open the file for reading is one result, whatever its kind.
  if (!file.TakeExclusive()) return kOpenFailed;
  platform::IoResult<std::string> bytes = file.ReadAll(kMaxInflatedBytes);
  if (!bytes) return ResultOf(bytes.error());
  const WorldRewrite rewrite = RewriteWorldBytes(*bytes, mode);
  switch (rewrite.outcome) {
    case WorldRewrite::Outcome::kUnchanged: return kPatchDone;
    case WorldRewrite::Outcome::kUndecodable: return kOpenFailed;
    case WorldRewrite::Outcome::kChanged: break;
  }
  if (platform::IoStatus replaced = file.ReplaceContent(rewrite.bytes); !replaced) return ResultOf(replaced.error());
  ++g_filesWritten;
  return kPatchDone;
}

}  // namespace

PatchResult PatchWorldFile(platform::WorldFolder& worldFolder, const std::string& path, int mode) {
  platform::IoResult<platform::WorldFile> file = worldFolder.OpenFile(path);
  // A file found only outside the folder is there, but not to be opened.
  if (!file) return file.error().kind == IoErrorKind::kOutside ? kOpenFailed : kFileMissing;
  // Before the content is looked at: a read-only file is reported even when
  // it would need no change.
  if (file->status().readOnly) return kReadOnly;
  try {
    return PatchFoundFile(*file, mode);
  } catch (const std::bad_alloc&) {
    // Nothing has been written yet when memory runs out (the new content is
    // complete before the rewrite starts), so the file is left as it was.
    return kOpenFailed;
  }
}

PatchResult ResultForUnopenedFolder(const platform::IoError& error) {
  return error.kind == IoErrorKind::kNotFound ? kFileMissing : kOpenFailed;
}

PatchResult PatchWorldFile(const std::string& path, int mode, const std::string& worldFolder) {
  platform::IoResult<platform::WorldFolder> folder = platform::WorldFolder::Open(worldFolder);
  if (!folder) return ResultForUnopenedFolder(folder.error());
  const PatchResult result = PatchWorldFile(*folder, path, mode);
  // The rewrite is complete and atomic already; only its durability waits.
  (void)folder->Flush();
  return result;
}

PatchResult PatchWorldFile(const std::string& path, int mode) {
  const bool driveAbsolute = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
  return PatchWorldFile(path, mode, driveAbsolute ? path.substr(0, 3) : std::string());
}
