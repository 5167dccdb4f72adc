#include "common/disk_space.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace common {
namespace {

int64_t Bytes(std::uintmax_t bytes) {
  constexpr auto kMax = static_cast<std::uintmax_t>(std::numeric_limits<int64_t>::max());
  return bytes > kMax ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(bytes);
}

}  // namespace

TDiskSpace GetDiskSpace(const std::string& Directory) {
  TDiskSpace space;
  space.Directory = Directory;
  if (Directory.empty()) return space;
  std::error_code error;
  const std::filesystem::space_info info = std::filesystem::space(Directory, error);
  if (error) return space;
  // `available` leaves out the blocks reserved for the superuser: what the calling user may
  // still write.
  space.FreeAvailable = Bytes(info.available);
  space.TotalSpace = Bytes(info.capacity);
  space.TotalFree = Bytes(info.free);
  return space;
}

uint64_t GetAvailableDiskSpace(const std::string& Directory) {
  return static_cast<uint64_t>(GetDiskSpace(Directory).FreeAvailable);
}

}  // namespace common
