// Reads the FileVersion text of a Windows program file's version resource (PE format).
#ifndef COMMON_VERSION_INFO_H_
#define COMMON_VERSION_INFO_H_

#include <string>
#include <string_view>

namespace common {

// Returns the FileVersion string of the first translation of the file's version resource,
// exactly as stored (converted to UTF-8), or "" when the file is missing, not a PE file, has no
// version resource, no translation table, or no FileVersion under the first translation.
// Safe on hostile input: bounded reads, bounded recursion, no large allocations.
std::string GetEXEDLLVersionInfo2(const std::string& FileName);

// The same for a file image held in memory.
std::string FileVersionOfImage(std::string_view image);

}  // namespace common

#endif  // COMMON_VERSION_INFO_H_
