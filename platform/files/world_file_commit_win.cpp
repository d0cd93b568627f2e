#include <windows.h>

#include <utility>

#include "platform/files/file_security_win.h"
#include "platform/files/world_folder_impl_win.h"

// The Windows half commits through handles: the original is held without
// sharing from the moment it is taken until its replacement has its name,
// so no other program can open, write, rename or delete it in between. Wine
// refuses to rename a file over one that any handle holds open, so the
// original is not renamed over; it is moved aside into a folder of the
// program's own (through its own handle), the new file takes the free name
// (never over a file another program put there meanwhile), and only then
// does the original go. A program that saves into the name while it is free
// keeps its save.

namespace platform {
namespace {

// What a new file takes over from the one it replaces. Read-only is not
// among them: a read-only file is never replaced.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

IoStatus WriteAll(HANDLE file, std::string_view bytes, std::string_view path) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastError(path);
    if (written == 0) return Found(IoErrorKind::kGeneric, path);
    bytes.remove_prefix(written);
  }
  return Succeeded();
}

}  // namespace

// The new content in a new file beside the original, carrying the
// original's attributes, owner and permissions, flushed to disk, and set to
// go with its handle: a process that ends before the commit leaves nothing.
IoResult<OwnFile> WorldFile::Impl::WriteReplacement(HANDLE within, std::string_view bytes) const {
  const Security original(exclusive.get());
  if (original.error() != ERROR_SUCCESS) return OsError(static_cast<int>(original.error()), path);
  ReplacementSecurity security(original);
  const DWORD carried = facts.attributes & kCarriedAttributes;
  const std::wstring folderPath = FolderPath();
  OwnFile replacement;
  NTSTATUS created = kNameCollision;
  DWORD notToGo = ERROR_SUCCESS;
  int collisions = 0;
  // Wine takes a new file's path when the file is made: one made while the
  // folder was swapped has none to move it by, and is made again.
  const bool movable = Repeatedly(kRetryMilliseconds, [&] {
    replacement.name = OwnName(L".new");
    created = OpenIn(within, replacement.name, GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL, 0, FILE_CREATE,
                     carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL, security.descriptor(), FILE_NON_DIRECTORY_FILE,
                     &replacement.handle);
    if (created == kNameCollision) return ++collisions >= kOwnNameAttempts;
    if (created != 0) return true;
    // At once: should the process end from here to the commit, it goes.
    if (!SetDeleteOnClose(replacement.handle.get(), true)) notToGo = GetLastError();
    if (const std::optional<HandleFacts> made = FactsOf(replacement.handle.get()))
      replacement.identity = made->identity;
    if (WineKnowsItAt(replacement.handle.get(), Joined(folderPath, replacement.name))) return true;
    Discard(within, folderPath, std::move(replacement));
    return false;
  });
  if (created != 0) return NtError(created, path);
  if (!movable) return Found(IoErrorKind::kBusy, path);

  const auto written = [&]() -> IoStatus {
    if (notToGo != ERROR_SUCCESS) return OsError(static_cast<int>(notToGo), path);
    // Wine cannot give a new file every permission bit of another (it shows
    // neither a file's group nor its group's bits): what it shows must match.
    const Security carriedOver(replacement.handle.get());
    if (carriedOver.error() != ERROR_SUCCESS) return OsError(static_cast<int>(carriedOver.error()), path);
    if (!EqualSid(original.owner(), carriedOver.owner()) || !SameEntries(original.dacl(), carriedOver.dacl()))
      return Found(IoErrorKind::kAccessDenied, path);
    if (IoStatus all = WriteAll(replacement.handle.get(), bytes, path); !all) return all;
    if (!FlushFileBuffers(replacement.handle.get())) return LastError(path);
    return Succeeded();
  }();
  if (!written) {
    Discard(within, folderPath, std::move(replacement));
    return written.error();
  }
  return replacement;
}

// The folder the original moves into on its way out, made new beside it:
// only the real folder holds it, so a move into it that a swapped folder
// leads elsewhere finds nothing to move into there. The original keeps its
// name in it, so that a later run can put back what a run cut off left
// there (RemoveLeftovers). Removed with its last handle once empty.
IoResult<OwnFile> WorldFile::Impl::MakeAsideFolder(HANDLE within) const {
  OwnFile aside;
  aside.kind = FILE_DIRECTORY_FILE;
  NTSTATUS created = kNameCollision;
  for (int attempt = 0; attempt < kOwnNameAttempts && created == kNameCollision; ++attempt) {
    aside.name = OwnName(L".old");
    created = OpenIn(within, aside.name, FILE_READ_ATTRIBUTES | DELETE, kShareAll, FILE_CREATE, FILE_ATTRIBUTE_NORMAL,
                     nullptr, FILE_DIRECTORY_FILE, &aside.handle, FILE_DELETE_ON_CLOSE);
  }
  if (created != 0) return NtError(created, path);
  const std::optional<HandleFacts> made = FactsOf(aside.handle.get());
  if (!made) {
    const IoError error = LastError(path);
    aside.handle.Reset();  // empty, and marked to go
    return error;
  }
  aside.identity = made->identity;
  return aside;
}

IoStatus WorldFile::Impl::Commit(HANDLE within, OwnFile replacement) {
  const std::wstring folderPath = FolderPath();
  // Set to go until now; from here to its move the steps follow each other
  // at once: a process cut off between them leaves its files beside the world.
  if (!SetDeleteOnClose(replacement.handle.get(), false)) {
    const IoError error = LastError(path);
    Discard(within, folderPath, std::move(replacement));
    return error;
  }
  IoResult<OwnFile> aside = MakeAsideFolder(within);
  if (!aside) {
    Discard(within, folderPath, std::move(replacement));
    return aside.error();
  }
  OwnFile old{ScopedHandle(), Joined(aside->name, Name()), facts.identity};
  NTSTATUS answer = 0;
  if (MoveAndSee(exclusive.get(), old.identity, within, old.name, kRetryMilliseconds, &answer) != Moved::kThere) {
    // Still in its place (or gone by another program's hand): nothing changed.
    Discard(within, folderPath, std::move(replacement));
    Discard(within, folderPath, std::move(*aside));
    return WorthRetrying(answer) ? Found(IoErrorKind::kBusy, path) : NtError(answer, path);
  }
  old.handle = std::move(exclusive);
  const Moved placed =
      MoveAndSee(replacement.handle.get(), replacement.identity, within, Name(), kSettleMilliseconds, &answer);
  if (placed == Moved::kThere) {
    // The new file's handle takes the place of the old one's: the file
    // stays held, and the old content goes.
    exclusive = std::move(replacement.handle);
    if (std::optional<HandleFacts> now = FactsOf(exclusive.get())) facts = *now;
    DiscardAside(within, folderPath, std::move(old), std::move(*aside));
    return Succeeded();
  }
  Discard(within, folderPath, std::move(replacement));
  if (placed == Moved::kNameTaken) {
    // The name was free for a moment, and another program saved into it:
    // its file stays, and the old content goes.
    DiscardAside(within, folderPath, std::move(old), std::move(*aside));
    return Found(IoErrorKind::kBusy, path);
  }
  return PutBack(within, std::move(old), std::move(*aside), answer);
}

// Puts the original, moved aside as `old` into `aside`, back into its free
// name and holds it again; should another program save into the name
// first, its file stays and the old content goes. Gives why the new file
// did not take the name (Wine's answer `placed`).
IoStatus WorldFile::Impl::PutBack(HANDLE within, OwnFile old, OwnFile aside, NTSTATUS placed) {
  const IoError notPlaced = WorthRetrying(placed) ? Found(IoErrorKind::kBusy, path) : NtError(placed, path);
  const std::wstring folderPath = FolderPath();
  const std::wstring asidePath = Joined(folderPath, old.name);
  // Moved by its path as Wine knows it: when the move aside lost it, by a
  // handle opened afresh from the folder's.
  const bool movable = Repeatedly(kSettleMilliseconds, [&] {
    if (WineKnowsItAt(old.handle.get(), asidePath)) return true;
    old.handle.Reset();
    OpenIn(within, old.name, kTakenForReading | kTakenForWriting, 0, FILE_OPEN, 0, nullptr, FILE_NON_DIRECTORY_FILE,
           &old.handle);
    return false;
  });
  NTSTATUS answer = 0;
  const Moved back =
      movable ? MoveAndSee(old.handle.get(), old.identity, within, Name(), kSettleMilliseconds, &answer) : Moved::kNot;
  if (back == Moved::kThere) {
    exclusive = std::move(old.handle);
    Discard(within, folderPath, std::move(aside));
  } else if (back == Moved::kNameTaken) {
    DiscardAside(within, folderPath, std::move(old), std::move(aside));
  }
  // Else a folder on the way swapped for good: the old content stays in its
  // own folder beside the world, where Wine can no longer reach it.
  return notPlaced;
}

}  // namespace platform
