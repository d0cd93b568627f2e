#pragma once

#include <sys/stat.h>

// What tells a cached reading of a file or folder from a stale one: its
// identity, size and times. Linux only, shared by the caches of platform/.
namespace platform {

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  bool operator==(const FileStamp& other) const;
};

FileStamp StampOf(const struct stat& status);

// File times tick coarsely (a jiffy, or two seconds on some file systems),
// so something changed twice within one tick can look unchanged. A stamp
// this young must not be trusted for a cached reading.
bool ChangedRecently(const FileStamp& stamp);

}  // namespace platform
