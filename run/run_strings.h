#pragma once

// Numbers of the string resources the batch run shows. Plain #defines, so
// that the Windows resource compiler reads them through ui/resource.h too;
// the texts are in ui/string_table.inc.

#define IDS_SUMMARY_NONE 105
#define IDS_SUMMARY_WRITTEN 106
#define IDS_STATUS_FILE_K_OF_N 107
#define IDS_FILE_MISSING 108
#define IDS_OPEN_FAILED 109
#define IDS_READ_ONLY 110
#define IDS_DISK_FULL 111
#define IDS_ACCESS_DENIED 112
