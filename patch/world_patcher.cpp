#include "patch/world_patcher.h"

#include <new>
#include <optional>

#include "patch/gzip_codec.h"
#include "patch/world_text.h"
#include "platform/files/exclusive_file.h"
#include "platform/files/file_status.h"
#include "platform/folders/folder_tree.h"

int g_filesWritten = 0;

namespace {

PatchResult ResultOf(platform::IoFailure failure) {
  switch (failure) {
    case platform::IoFailure::kNone: return kPatchDone;
    case platform::IoFailure::kDiskFull: return kDiskFull;
    case platform::IoFailure::kAccessDenied: return kAccessDenied;
    case platform::IoFailure::kGeneric: return kOpenFailed;
    case platform::IoFailure::kOther: return kOtherIoFailure;
    case platform::IoFailure::kTooLarge: return kOpenFailed;
  }
  return kOtherIoFailure;
}

// Steps after the status checks. The file stays held, unshared, from the
// moment it is opened until its new content is in place.
PatchResult PatchOpenWorldFile(const std::string& path, int mode) {
  std::optional<platform::ExclusiveFile> file = platform::ExclusiveFile::Open(path);
  if (!file) return kOpenFailed;
  std::string bytes;
  if (platform::IoFailure failure = file->ReadAll(&bytes, kMaxInflatedBytes); failure != platform::IoFailure::kNone)
    return ResultOf(failure);
  WorldRewrite rewrite = RewriteWorldBytes(bytes, mode);
  switch (rewrite.outcome) {
    case WorldRewrite::Outcome::kUnchanged: return kPatchDone;
    case WorldRewrite::Outcome::kUndecodable: return kOpenFailed;
    case WorldRewrite::Outcome::kChanged: break;
  }
  if (platform::IoFailure failure = file->ReplaceContent(rewrite.bytes); failure != platform::IoFailure::kNone)
    return ResultOf(failure);
  ++g_filesWritten;
  return kPatchDone;
}

// PatchWorldFile, refused outside `worldFolder` when one is given.
PatchResult PatchWorldFileWithin(const std::string& path, int mode, std::optional<std::string_view> worldFolder) {
  std::optional<platform::FileStatus> status = platform::GetFileStatus(path);
  if (!status) return kFileMissing;
  if (worldFolder) {
    const auto tree = platform::FolderTree::Open(*worldFolder);
    if (!tree || !tree->Contains(path)) return kOpenFailed;
  }
  // Before the content is looked at: a read-only file is reported even when
  // it would need no change.
  if (status->readOnly) return kReadOnly;
  try {
    return PatchOpenWorldFile(path, mode);
  } catch (const std::bad_alloc&) {
    // Nothing has been written yet when memory runs out (the new content is
    // complete before the rewrite starts), so the file is left as it was.
    return kOpenFailed;
  }
}

}  // namespace

PatchResult PatchWorldFile(const std::string& path, int mode) { return PatchWorldFileWithin(path, mode, std::nullopt); }

PatchResult PatchWorldFile(const std::string& path, int mode, const std::string& worldFolder) {
  return PatchWorldFileWithin(path, mode, worldFolder);
}
