#pragma once

// Entries of a folder reached from the folder's handle, and the files the
// program makes beside a world, as the Windows half of the world folder
// commits through them.
//
// Names are given relative to the handle of the file's folder, and what a
// name holds is looked up from there: that lookup is the truth every step
// is decided by. Wine, beneath, opens from the folder's handle too, but
// moves and deletes by host paths: the one it took for each handle when the
// handle was opened or last moved, looked up again. A folder on the way
// swapped for a link meanwhile makes such a move miss, or go through and be
// reported failed, and would make it rename whatever the link leads to. So
// each move goes from a name that only the real folder holds, a handle is
// moved only while Wine's path for it is the one the folder shows, and its
// outcome is read from the folder's handle, not from the status.

#include <windows.h>
#include <winternl.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_handle_win.h"

namespace platform {

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);  // STATUS_OBJECT_NAME_COLLISION
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// How many of the program's own names are tried before giving up.
constexpr int kOwnNameAttempts = 100;
// How long a move that a swapped folder made miss is tried again before the
// world is left as it was.
constexpr ULONGLONG kRetryMilliseconds = 200;
// How long the world's free name is tried to be filled, and the program's
// own files to be cleared away: longer than a folder stays swapped, short
// of one swapped for good, which leaves the old content in its folder.
constexpr ULONGLONG kSettleMilliseconds = 5000;

// Calls `attempt` until it says it is done, or `milliseconds` have passed
// (then once more); whether it got done.
template <typename Attempt>
bool Repeatedly(ULONGLONG milliseconds, Attempt attempt) {
  const ULONGLONG until = GetTickCount64() + milliseconds;
  for (;;) {
    if (attempt()) return true;
    if (GetTickCount64() > until) return false;
    Sleep(1);
  }
}

// A name for a file or folder the program makes beside a world: "~qw", the
// process and a count, then `ending`: ".new" for new content, ".old" for
// old content on its way out. Neither ends in ".wrl", not even as an 8.3
// alias.
std::wstring OwnName(const wchar_t* ending);

// `name` in the folder whose final path is `folder`.
std::wstring Joined(const std::wstring& folder, std::wstring_view name);

// A final path as the W functions take it past MAX_PATH.
std::wstring LongPath(const std::wstring& finalPath);

// Opens (or creates, as `disposition` says) `name` in `folder`, found from
// the folder's handle: a file, a folder or either, as `kind` says
// (FILE_NON_DIRECTORY_FILE, FILE_DIRECTORY_FILE or 0), with the further
// create options of `options`. The name is looked up as it is spelt.
NTSTATUS OpenIn(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                ULONG attributes, PSECURITY_DESCRIPTOR security, ULONG kind, ScopedHandle* file, ULONG options = 0);

// Whether the file is to go when its last handle closes. Set, unlike
// FILE_FLAG_DELETE_ON_CLOSE, it can be taken back (Wine holds to the flag).
bool SetDeleteOnClose(HANDLE file, bool remove);

// Whether a move that did not happen may yet happen when tried again.
bool WorthRetrying(NTSTATUS status);

// Whether `name` in `folder` is the file or folder `identity` tells.
bool NamesFile(HANDLE folder, std::wstring_view name, const FileIdentity& identity);

// Whether Wine's path for the handle, which it moves and deletes by, is
// `finalPath`, the one the folder's handle finds the file at.
bool WineKnowsItAt(HANDLE file, const std::wstring& finalPath);

// Whether the final path, looked up now, leads to the file `identity` tells.
bool PathLeadsTo(const std::wstring& finalPath, const FileIdentity& identity);

// A file or folder the program made beside a world (or moved there), with
// its name relative to the world's folder.
struct OwnFile {
  ScopedHandle handle;
  std::wstring name;
  FileIdentity identity;
  ULONG kind = FILE_NON_DIRECTORY_FILE;
};

// Deletes `own` from `folder` (whose final path is `folderPath`); whether
// the name is free of it. One that another program holds open goes when it
// lets go.
bool Discard(HANDLE folder, const std::wstring& folderPath, OwnFile own);

enum class Moved { kThere, kNameTaken, kNot };

// Moves the file `file` holds (`identity`) to the free name `name` in
// `folder`, trying again for `milliseconds` while it missed, and tells what
// the folder shows afterwards: the file there, the name taken by another
// file, or neither. `status` receives Wine's last answer.
Moved MoveAndSee(HANDLE file, const FileIdentity& identity, HANDLE folder, std::wstring_view name,
                 ULONGLONG milliseconds, NTSTATUS* status);

// Deletes the old content moved aside as `old`, then the folder `aside` it
// was moved into.
void DiscardAside(HANDLE folder, const std::wstring& folderPath, OwnFile old, OwnFile aside);

// `name` in upper case, as Windows compares names.
std::wstring UpperCase(std::wstring_view name);

struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
};

// What `folder` lists, "." and ".." included; nothing when it cannot be
// listed.
std::vector<FolderEntry> EntriesOf(HANDLE folder);

// The names, in upper case, that more than one of `entries` has but for
// case.
std::set<std::wstring> NamesSharedButForCase(const std::vector<FolderEntry>& entries);

// Removes what processes of this program that ended left in `folder` (whose
// final path is `folderPath`, and whose listing is `entries`) in the middle of a rewrite: new content that
// never took its world's name goes; a world moved aside goes back to its
// name while that is free, and goes when the name holds its replacement.
// Only names the program gives its own files are touched.
void RemoveLeftovers(HANDLE folder, const std::wstring& folderPath, const std::vector<FolderEntry>& entries);

}  // namespace platform
