// How the updater starts other programs: the main application after a run and the installer
// with administrator rights. An interface so the tests record starts instead of making them.
#ifndef TOLVAN_PROGRAM_STARTER_H_
#define TOLVAN_PROGRAM_STARTER_H_

#include <string>

namespace tolvan {

class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;

  // Starts `path` with its default verb, without parameters and without waiting for it.
  // Returns false when the start could not be made. May be called on any thread.
  virtual bool Open(const std::string& path) = 0;

  // Starts the program `path` with administrator rights after the user's consent, without
  // parameters and without waiting for it. Returns false when the start could not be made.
  virtual bool RunAs(const std::string& path) = 0;
};

// Starts programs through the desktop shell (common/shell_start.h).
class ShellProgramStarter final : public ProgramStarter {
 public:
  bool Open(const std::string& path) override;
  bool RunAs(const std::string& path) override;
};

}  // namespace tolvan

#endif  // TOLVAN_PROGRAM_STARTER_H_
