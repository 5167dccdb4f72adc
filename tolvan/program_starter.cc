#include "tolvan/program_starter.h"

#include "common/shell_start.h"

namespace tolvan {

bool ShellProgramStarter::Open(const std::string& path) { return common::ShellOpen(path); }

bool ShellProgramStarter::RunAs(const std::string& path) { return common::ShellRunAs(path); }

}  // namespace tolvan
