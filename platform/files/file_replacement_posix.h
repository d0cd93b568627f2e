#pragma once

// Putting new content in a file's place without a moment in which the name
// holds a partial file, without losing what another program writes or saves
// meanwhile, and without touching any file but our own. Linux only, and
// only for platform/.

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "platform/paths/scoped_fd_posix.h"

namespace platform {

// Whether two statuses describe the same file: device and inode.
inline bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file being replaced, as the replacement needs it.
struct OriginalFile {
  int folderFd;             // the folder that holds it (O_PATH will do)
  const std::string& name;  // its name there
  int fd;                   // the file, open for reading
  const struct stat& status;
  bool leased;  // fd holds a write lease (TakeWriteLease)
};

// What another opener does to a write lease: nothing yet, or it waits.
enum class LeaseTaken { kTaken, kHeldByOthers, kUnavailable };

// Takes a write lease on `fd`, which the kernel grants only while no other
// descriptor (of any process) has the file open, and which makes a later
// opener wait until the lease goes or a few dozen seconds pass. Unavailable
// for a file of another owner without CAP_LEASE, and on file systems
// without leases. SIGIO, which tells a lease holder of such an opener, is
// ignored unless the process handles it.
LeaseTaken TakeWriteLease(int fd);

// Gives up the lease on `fd`, letting a waiting opener in at once. Closing
// the descriptor alone leaves it waiting until its wait times out.
void ReleaseLease(int fd);

// Whether an opener is waiting for the lease on `fd` (or has given up
// waiting): from then on, a write through its open goes to this very file.
bool LeaseBroken(int fd);

// Whether the folder or file open for reading at `fd` is append-only or
// immutable: the host then refuses to remove or rename names in it, or to
// replace it. False where the file system has no such flags.
bool IsAppendOnlyOrImmutable(int fd);

// A file made to replace another in the same folder, readable and writable
// by this user alone until it takes over the original's permissions. It has
// no name until Replace() where the file system allows (O_TMPFILE), so that
// a killed process leaves nothing behind; elsewhere, and for the moment of
// the exchange, it has a temporary name carrying this program's marker (see
// RemoveStaleTemporaries). That name is removed again when this object goes,
// while it still names this file.
class ReplacementFile {
 public:
  // A new, empty file beside `original`. Returns 0 or an errno value.
  static int Create(const OriginalFile& original, ReplacementFile* file);

  ReplacementFile() = default;
  ReplacementFile(ReplacementFile&&) = delete;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ~ReplacementFile();

  int fd() const { return m_fd.get(); }

  // Gives the file the original's owner and group: 0, or EPERM where they
  // cannot be kept. Before the content is written: only a privileged process
  // may give a file away.
  int TakeOwner();
  // Gives the file exactly the original's extended attributes (its ACL with
  // them, or none) and permission bits, set-user-ID and set-group-ID
  // included. After the content is written, which clears some of them. 0, or
  // an errno value (EPERM where they cannot all be kept).
  int TakePermissions();

  // Puts the file in the place of the original's name, flushed before, and
  // only while the name still holds the original and no other program has
  // opened it since it was leased: otherwise the original stays or goes back
  // (EBUSY when it was opened, ESTALE when another program saved a file of
  // its own under the name, which is then left as that program left it).
  // The original's file is removed from the folder, the folder is not
  // flushed. Returns 0 or an errno value. Exchange() then Settle().
  int Replace();

  // The two steps of Replace, apart for tests that act between them. The
  // file, flushed and named, exchanged with what the original's name holds
  // (where the file system cannot exchange names, renamed over it, and
  // settled at once).
  int Exchange();
  // Keeps the file under the name and removes the original's, or puts back
  // what stood there.
  int Settle();

 private:
  int GiveTemporaryName();
  // Removes the temporary name while it names the file `identity`
  // describes.
  void RemoveTemporaryIfItNames(const struct stat& identity);
  // Exchanges the temporary name and the original's name.
  int ExchangeNames();
  // Whether a program opened the original since it was leased.
  bool OpenedMeanwhile() const;

  const OriginalFile* m_original = nullptr;
  std::string m_temporary;  // its own name in the folder, empty while it has none
  ScopedFd m_fd;
  struct stat m_status {};  // its identity
  bool m_settled = false;   // by a rename that needs no settling
};

// Removes the temporary files of this program that are stale: the
// regular files of this user under a name that ReplacementFile gives, whose
// process no longer runs (killed, or the machine went down), in the folder
// open for reading at `folderReadFd`.
void RemoveStaleTemporaries(int folderReadFd);

}  // namespace platform
