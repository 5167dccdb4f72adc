// Reading the check-results database: the Rep table of a sample database with N rows written in
// shuffled num order, opened through OpenMDB and read into row-source order by ADOQuery3; then
// mdb-export on the same table for comparison. The reading runs in a process of its own (this
// program started again with --read), so its peak memory is not the writer's.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/env.h"
#include "kavel/mdb_connection.h"
#include "tools/sample_database.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time (user + system) of this process or of its waited-for children, in seconds:
// unlike elapsed time it does not depend on what else the machine is doing.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakMegabytes(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss / 1024.0;
}

int Read(const std::string& path) {
  common::SystemEnv env(std::filesystem::path(path).parent_path().string());
  const auto start = std::chrono::steady_clock::now();
  kavel::MdbConnection connection(env);
  std::string error;
  if (!connection.OpenMDB(path, &connection.ADOQuery3()) || !connection.ADOQuery3().Open(&error)) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  kavel::MdbTableSource& rep = connection.ADOQuery3();
  size_t rows = 0;
  std::string first, last;
  for (bool row = rep.First(&error); row; row = rep.Next(&error)) {
    if (rows++ == 0) first = rep.Value(0);
    last = rep.Value(0);
  }
  if (!error.empty()) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const double seconds = Seconds(start);
  std::printf("  OpenMDB + ADOQuery3 open and every row (read, convert, sort, stream): %.3f s, %.0f rows/s\n", seconds,
              static_cast<double>(rows) / seconds);
  std::printf("  peak RSS: %.1f MB in Kavel's process, %.1f MB in the reader\n", PeakMegabytes(RUSAGE_SELF),
              PeakMegabytes(RUSAGE_CHILDREN));
  std::printf("  rows: %zu, first num %s, last num %s\n", rows, first.c_str(), last.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--read") return Read(argv[2]);
  int rows = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--rows") rows = std::atoi(argv[i + 1]);
  }
  char pattern[] = "/tmp/mdb-read-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = std::string(pattern) + "/";
  const std::string path = folder + "Data.Rpt";
  jet::SampleOptions options;
  options.rows = rows;
  options.shuffled = true;
  if (!jet::WriteSampleDatabase(path, options).ok) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("mdb_read: Rep table, %d rows, %.1f MB file with three tables (num written shuffled)\n", rows,
              static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  std::fflush(stdout);

  double cpu = CpuSeconds(RUSAGE_CHILDREN);
  auto start = std::chrono::steady_clock::now();
  const int read_status = std::system(("'" + std::string(argv[0]) + "' --read '" + path + "'").c_str());
  const double read_seconds = Seconds(start);
  const double read_cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;

  cpu = CpuSeconds(RUSAGE_CHILDREN);
  start = std::chrono::steady_clock::now();
  const int export_status = std::system(("mdb-export '" + path + "' Rep > /dev/null").c_str());
  const double export_seconds = Seconds(start);
  const double export_cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  std::printf("  mdb-export of the same table: %.3f s%s\n", export_seconds, export_status == 0 ? "" : " (failed)");
  std::printf("  whole processes, elapsed: reader %.3f s%s, mdb-export %.3f s, ratio %.2f\n", read_seconds,
              read_status == 0 ? "" : " (failed)", export_seconds, read_seconds / export_seconds);
  std::printf("  whole processes, processor time: reader %.3f s, mdb-export %.3f s, ratio %.2f\n", read_cpu,
              export_cpu, read_cpu / export_cpu);
  std::filesystem::remove_all(folder);
  return 0;
}
