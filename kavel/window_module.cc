// The entry point of kavel_window.so, the part of Kavel that uses Qt.
#include "kavel/window_run.h"

extern "C" __attribute__((visibility("default"))) void KavelRunWithWindow(
    int argc, char** argv, const std::vector<std::string>* arguments) {
  kavel::RunWithWindow(argc, argv, *arguments);
}

// The program looks the entry up by this name; a mismatch would silently disable the windows.
static_assert(sizeof(kavel::kWindowEntryName) == sizeof("KavelRunWithWindow"));
