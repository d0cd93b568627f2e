#pragma once

// The world folder as the patcher meets it: opened once, every file under it
// reached from that handle, and everything done to a file (lock, read,
// replacement, clean-up) done through the handles opened for it. A world
// folder may come from a downloaded archive: no link in it leads the
// patcher out, and no file outside it is ever opened for writing.

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/file_status.h"
#include "platform/io_error.h"

namespace platform {

class WorldFile;

// Used by one thread at a time.
class WorldFolder {
 public:
  struct Impl;

  // The folder a Windows path names (made full as GetFullPathNameA makes
  // it), opened. kNotFound when no folder is there.
  static IoResult<WorldFolder> Open(std::string_view folder);

  WorldFolder(WorldFolder&&) noexcept;
  WorldFolder& operator=(WorldFolder&&) noexcept;
  // Does not flush: replacements not yet flushed stay atomic, only their
  // durability waits for the next sync the system makes.
  ~WorldFolder();

  // The full Windows path of the folder, as the paths under it begin.
  const std::string& path() const;

  // The file `path` names: a full Windows path under this folder, as a scan
  // of it lists paths. Resolved once, from the folder's handle; links that
  // stay inside the folder are followed, links that lead out are not.
  //   kNotFound  nothing is there (its status cannot be read);
  //   kOutside   the path, or a link on the way, leads out of the folder;
  //   other kinds as the host reports them.
  IoResult<WorldFile> OpenFile(std::string_view path);

  // Makes every replacement made so far durable. Each folder in which files
  // are replaced is synced once the replacements move on to another folder,
  // and the last one here: a folder once per visit, not once per file. The
  // replacements themselves are complete and atomic before they are synced.
  // Gives the first failed sync since the last Flush.
  IoStatus Flush();

 private:
  explicit WorldFolder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

// One file under a WorldFolder, opened by WorldFolder::OpenFile. Every error
// carries the Windows path the file was opened by.
class WorldFile {
 public:
  struct Impl;

  WorldFile(WorldFile&&) noexcept;
  WorldFile& operator=(WorldFile&&) noexcept;
  ~WorldFile();

  // What GetFileAttributesA tells of the file, read when it was opened.
  const FileStatus& status() const;

  // Takes the file for reading without sharing it with any other opener,
  // until this object goes. kNotAFile for a folder, a FIFO or a device;
  // kBusy when another program holds the file open, locks it or has just
  // saved a new one in its place.
  IoStatus TakeExclusive();

  // The whole content, unchanged. A file of more than `limit` bytes is
  // kTooLarge, found from its size before it is read. After TakeExclusive.
  IoResult<std::string> ReadAll(std::size_t limit = std::numeric_limits<std::size_t>::max());

  // Replaces the whole content atomically: the name holds either the old or
  // the new content at every moment, and a failure leaves the old. The new
  // file carries exactly the original's permissions, owner, group, ACL and
  // extended attributes, or the file is not replaced (kAccessDenied). A file
  // this user may not write is kGeneric, as a refused open for writing is;
  // one that another program opened, wrote or saved meanwhile is left as
  // that program left it (kBusy).
  // Durable after WorldFolder::Flush. After TakeExclusive.
  IoStatus ReplaceContent(std::string_view bytes);

 private:
  friend class WorldFolder;
  explicit WorldFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
