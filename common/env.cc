#include "common/env.h"

#include <utility>

#include "common/activity_log.h"
#include "common/disk_space.h"
#include "common/settings.h"

namespace common {

SystemEnv::SystemEnv(std::string program_folder) : program_folder_(std::move(program_folder)) {
  if (program_folder_.empty() || program_folder_.back() != '/') program_folder_ += '/';
}

std::string SystemEnv::IFReadIniStr(std::string_view pMKey, std::string_view pSKey,
                                    std::string_view pDef) {
  return ReadIniStrIn(program_folder_, pMKey, pSKey, pDef);
}

void SystemEnv::IFWriteIniStr(std::string_view pMKey, std::string_view pSKey,
                              std::string_view pPara) {
  WriteIniStrIn(program_folder_, pMKey, pSKey, pPara);
}

void SystemEnv::WrtLog(const std::string& pstFile, std::string_view pstLog) {
  WrtLogAt(pstFile, pstLog, Now());
}

LocalDateTime SystemEnv::Now() { return common::Now(); }

uint64_t SystemEnv::AvailableDiskSpace(const std::string& folder) {
  return GetAvailableDiskSpace(folder);
}

}  // namespace common
