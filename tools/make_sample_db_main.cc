// make-sample-db <path> [--rows N] [--shuffled]
// Writes a check-results database with the tables RepChk, Rep and RepChkList.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/sample_database.h"

int main(int argc, char** argv) {
  std::string path;
  jet::SampleOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rows" && i + 1 < argc) {
      char* end = nullptr;
      const long rows = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || rows < 1 || rows > 10000000) {
        std::fprintf(stderr, "make-sample-db: --rows needs a number from 1 to 10000000\n");
        return 2;
      }
      options.rows = static_cast<int>(rows);
    } else if (arg == "--shuffled") {
      options.shuffled = true;
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: make-sample-db <path> [--rows N] [--shuffled]\n");
    return 2;
  }
  const jet::Status status = jet::WriteSampleDatabase(path, options);
  if (!status) {
    std::fprintf(stderr, "make-sample-db: %s\n", status.message.c_str());
    return 1;
  }
  return 0;
}
