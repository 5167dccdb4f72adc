// A bridge for the tests of code that still asks common::ProgramFolder() itself instead of being
// handed a common::Env (the updater's flow and the pre-update backup). Linked into such a test
// program, the ProgramFolder() defined beside this header takes the place of the real one (whose
// object file is then not linked at all), so that the test can point it at a temporary folder.
// It goes away once that code takes its context; new tests use common::TestEnv instead.
#ifndef TESTS_SUPPORT_PROGRAM_FOLDER_OVERRIDE_FOR_TESTING_H_
#define TESTS_SUPPORT_PROGRAM_FOLDER_OVERRIDE_FOR_TESTING_H_

#include <string>

#include "common/program_folder.h"

namespace common {

// Makes ProgramFolder() return `folder` (a trailing "/" is added when missing); an empty text
// makes it the folder of the running test program again.
void OverrideProgramFolderForTesting(const std::string& folder);

}  // namespace common

#endif  // TESTS_SUPPORT_PROGRAM_FOLDER_OVERRIDE_FOR_TESTING_H_
