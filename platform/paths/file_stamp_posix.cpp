#include "platform/paths/file_stamp_posix.h"

#include <time.h>

#include <algorithm>

namespace platform {
namespace {

constexpr long long kTimestampSlackNs = 2'000'000'000LL;

long long Nanoseconds(const timespec& time) {
  return static_cast<long long>(time.tv_sec) * 1'000'000'000LL + time.tv_nsec;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size && SameTime(modified, other.modified) &&
         SameTime(changed, other.changed);
}

FileStamp StampOf(const struct stat& status) {
  return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool ChangedRecently(const FileStamp& stamp) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now) - std::max(Nanoseconds(stamp.modified), Nanoseconds(stamp.changed)) < kTimestampSlackNs;
}

}  // namespace platform
