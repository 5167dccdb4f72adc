// Reading the check-results database: the Rep table of a sample database with N rows written in
// shuffled num order, opened through OpenMDB and read into row-source order by ADOQuery3; then
// mdb-export on the same table for comparison.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/program_folder.h"
#include "kavel/mdb_connection.h"
#include "tools/sample_database.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  int rows = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--rows") rows = std::atoi(argv[i + 1]);
  }
  char pattern[] = "/tmp/mdb-read-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = std::string(pattern) + "/";
  const std::string path = folder + "Data.Rpt";

  // The database is written by a child, so the peak memory below is the reader's alone.
  const pid_t child = fork();
  if (child == 0) {
    jet::SampleOptions options;
    options.rows = rows;
    options.shuffled = true;
    _exit(jet::WriteSampleDatabase(path, options).ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  const long baseline_kib = PeakKiB(RUSAGE_SELF);

  common::OverrideProgramFolderForTesting(folder);
  auto start = std::chrono::steady_clock::now();
  kavel::MdbConnection connection;
  std::string error;
  if (!connection.OpenMDB(path) || !connection.ADOQuery3().Open(&error)) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const double read_seconds = Seconds(start);
  const size_t read_rows = connection.ADOQuery3().RowCount();
  const long peak_kib = PeakKiB(RUSAGE_SELF);

  start = std::chrono::steady_clock::now();
  const std::string command = "mdb-export '" + path + "' Rep > /dev/null";
  const int export_status = std::system(command.c_str());
  const double export_seconds = Seconds(start);

  std::printf("mdb_read: Rep table, %zu rows, %.1f MB file (num written shuffled)\n", read_rows, megabytes);
  std::printf("  OpenMDB + ADOQuery3 open (read, convert, sort): %.3f s, %.0f rows/s\n", read_seconds,
              static_cast<double>(read_rows) / read_seconds);
  std::printf("  peak RSS: %.1f MB (%.1f MB before reading)\n", peak_kib / 1024.0, baseline_kib / 1024.0);
  std::printf("  mdb-export of the same table: %.3f s%s, peak RSS %.1f MB\n", export_seconds,
              export_status == 0 ? "" : " (failed)", PeakKiB(RUSAGE_CHILDREN) / 1024.0);
  std::printf("  ratio read / mdb-export: %.2f\n", read_seconds / export_seconds);
  std::filesystem::remove_all(folder);
  return 0;
}
