// Starting other programs the way the Windows shell would: detached, never waited for.
#ifndef COMMON_SHELL_START_H_
#define COMMON_SHELL_START_H_

#include <string>

namespace common {

// Opens `target` with its default handler: an executable file is started directly in its own
// session; anything else (a document, a URL) through xdg-open. Returns whether the start could
// be made.
bool ShellOpen(const std::string& target);

// Starts `program` with administrator rights after the user's consent (pkexec), detached,
// without parameters. Returns whether the start could be made.
bool ShellRunAs(const std::string& program);

}  // namespace common

#endif  // COMMON_SHELL_START_H_
