// Starting other programs the way the Windows shell would: detached, never waited for.
#ifndef COMMON_SHELL_START_H_
#define COMMON_SHELL_START_H_

#include <string>

namespace common {

// Opens `target` with its default verb. A URL ("https://…") goes to xdg-open. A program file
// is started detached in a session of its own, without parameters: a Windows program (PE)
// through `wine` from PATH with our environment (WINEPREFIX included), a native executable
// (exec bit set) directly. Returns true only when the program (or wine, or xdg-open) was really
// executed; a missing or unreadable file, a file that is neither, or a Windows program without
// wine is a failed start.
bool ShellOpen(const std::string& target);

// Starts `program` with administrator rights, without parameters, not waiting: a native
// executable through pkexec (which asks for consent); a Windows program through wine as
// ShellOpen does, since wine has no elevation. Returns true only when pkexec (or wine) was
// executed for an existing program file that can be started that way.
bool ShellRunAs(const std::string& program);

}  // namespace common

#endif  // COMMON_SHELL_START_H_
