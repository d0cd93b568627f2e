#pragma once

// File status on the Linux side. Linux only, and only for platform/.

#include <cstdint>

#include "platform/files/file_status.h"

namespace platform {

// What GetFileStatus tells of a host file of this st_mode.
FileStatus FileStatusOfMode(std::uint32_t mode);

}  // namespace platform
