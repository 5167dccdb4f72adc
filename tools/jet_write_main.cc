// jet-write <database> <table.tsv>...
// Writes a new Jet 4 database with one table per file, named after the file without its folder
// and extension; the file format is described in tools/tsv_table.h.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/jet_writer.h"
#include "tools/tsv_table.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: jet-write <database> <table.tsv>...\n");
    return 2;
  }
  jet::DatabaseWriter writer;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "jet-write: cannot read %s\n", argv[i]);
      return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const jet::Status status = jet::AddTsvTable(&writer, std::filesystem::path(argv[i]).stem().string(), text);
    if (!status) {
      std::fprintf(stderr, "jet-write: %s\n", status.message.c_str());
      return 1;
    }
  }
  const jet::Status status = writer.WriteFile(argv[1]);
  if (!status) {
    std::fprintf(stderr, "jet-write: %s\n", status.message.c_str());
    return 1;
  }
  return 0;
}
