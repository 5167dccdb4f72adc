// For the tools' tests: runs a shell command and returns what it printed.
#ifndef TOOLS_TOOL_OUTPUT_FOR_TESTING_H_
#define TOOLS_TOOL_OUTPUT_FOR_TESTING_H_

#include <cstdio>
#include <string>

namespace jet {

// Standard output and standard error of `command`, run by the shell; a text naming the command
// when it cannot be started, so a failed start shows in the test's message.
inline std::string RunTool(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "<cannot run " + command + ">";
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  ::pclose(pipe);
  return output;
}

}  // namespace jet

#endif  // TOOLS_TOOL_OUTPUT_FOR_TESTING_H_
