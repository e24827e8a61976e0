// Fixed buffer sizes, terminating zero included.
#ifndef VORPKG_COMMON_LIMITS_H
#define VORPKG_COMMON_LIMITS_H

#include <stddef.h>

const size_t kDirSize = 261;          // run sequence directories, update command lines
const size_t kPathSize = 260;         // staging name, tree copy paths, runner line
const size_t kSysDirSize = 256;       // system directory, tool log path, log line piece
const size_t kRecordPathSize = 128;   // version.id handling, result log path
const size_t kDriveRootSize = 4;      // "C:\" and its terminator

#endif
