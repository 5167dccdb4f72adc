// Free space on the file system that holds a folder.
#ifndef COMMON_DISK_SPACE_H_
#define COMMON_DISK_SPACE_H_

#include <cstdint>
#include <string>

namespace common {

struct TDiskSpace {
  std::string Directory;     // the path asked about, unchanged
  int64_t FreeAvailable = 0; // bytes free for the calling user
  int64_t TotalSpace = 0;    // bytes in total
  int64_t TotalFree = 0;     // bytes free on the whole file system
};

// All three numbers are 0 when the file system cannot be queried.
TDiskSpace GetDiskSpace(const std::string& Directory);
uint64_t GetAvailableDiskSpace(const std::string& Directory);

}  // namespace common

#endif  // COMMON_DISK_SPACE_H_
