#include "common/disk_space.h"

#include <sys/statvfs.h>

#include <limits>

namespace common {
namespace {

int64_t Bytes(unsigned long long blocks, unsigned long long block_size) {
  constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
  if (block_size != 0 && blocks > kMax / block_size) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(blocks * block_size);
}

}  // namespace

TDiskSpace GetDiskSpace(const std::string& Directory) {
  TDiskSpace space;
  space.Directory = Directory;
  struct statvfs st {};
  if (Directory.empty() || ::statvfs(Directory.c_str(), &st) != 0) return space;
  // Block counts are in units of the fragment size; f_bavail leaves out the blocks reserved
  // for the superuser, which is what the calling user may still write.
  space.FreeAvailable = Bytes(st.f_bavail, st.f_frsize);
  space.TotalSpace = Bytes(st.f_blocks, st.f_frsize);
  space.TotalFree = Bytes(st.f_bfree, st.f_frsize);
  return space;
}

uint64_t GetAvailableDiskSpace(const std::string& Directory) {
  return static_cast<uint64_t>(GetDiskSpace(Directory).FreeAvailable);
}

}  // namespace common
