#include "kavel/mdb_connection.h"

#include <optional>

#include "common/program_folder.h"
#include "common/text_format.h"
#include "kavel/mdb_database.h"
#include "kavel/mdb_isolated_call.h"
#include "kavel/mdb_reader.h"
#include "kavel/mdb_texts.h"
#include "kavel/texts.h"
#include "kavel/windows_path.h"

namespace kavel {

std::string MdbReaderPath() { return common::ProgramFileFolder() + kMdbReaderProgram; }

struct MdbConnection::ReaderAhead {
  MdbDatabase database;
  MdbTableSource* first;
  std::unique_ptr<IsolatedProgram> reader;
};

MdbConnection::MdbConnection(common::Env& env)
    : env_(env),
      query1_(std::make_unique<MdbTableSource>(*this, kTableRepChk)),
      query3_(std::make_unique<MdbTableSource>(*this, kTableRep)),
      query4_(std::make_unique<MdbTableSource>(*this, kTableRepChkList)) {}

MdbConnection::~MdbConnection() = default;

void MdbConnection::Close() {
  query1_->Close();
  query3_->Close();
  query4_->Close();
  database_.reset();
}

std::unique_ptr<MdbDatabase> MdbConnection::CheckedDatabase(const std::string& pstDataSource) const {
  std::string path = env_.ProgramFolder() + kDefaultDatabaseName;
  if (!pstDataSource.empty()) {
    // A Windows caller under Wine names the file as Windows sees it.
    std::optional<std::string> mapped = MapWindowsPath(pstDataSource, WinePrefix());
    if (!mapped) return nullptr;
    path = *mapped;
  }
  auto database = std::make_unique<MdbDatabase>();
  if (!LooksLikeJetFile(path, database.get())) return nullptr;
  database->path = path;
  return database;
}

void MdbConnection::StartReaderAhead(const std::string& pstDataSource, MdbTableSource& first) {
  ahead_.reset();
  std::unique_ptr<MdbDatabase> database = CheckedDatabase(pstDataSource);
  if (!database) return;
  std::unique_ptr<IsolatedProgram> reader =
      StartIsolated({MdbReaderPath(), kMdbReaderRows, database->path, first.table()},
                    IsolationTimeoutSeconds(*database));
  if (!reader) return;
  ahead_ = std::make_unique<ReaderAhead>(ReaderAhead{*database, &first, std::move(reader)});
}

bool MdbConnection::OpenMDB(const std::string& pstDataSource, MdbTableSource* first) {
  // A reader started ahead is stopped on every way out unless it is taken.
  const std::unique_ptr<ReaderAhead> ahead = std::move(ahead_);
  const std::string& folder = env_.ProgramFolder();
  // The line names the default database even when another file is opened: the main
  // application reads it that way.
  env_.WrtLog(folder + kLogFileName, common::FillIn(kLogDatabaseSource, {folder + kDefaultDatabaseName}));
  Close();
  std::unique_ptr<MdbDatabase> database = CheckedDatabase(pstDataSource);
  if (!database) return false;
  // The catalog is checked by the reader: libmdb never runs in this process. Its stream starts
  // with the signature and the check record once the catalog is whole.
  const size_t head = kCheckedStreamHead.size();
  const int timeout = IsolationTimeoutSeconds(*database);
  if (first == nullptr) {
    std::string stream;
    if (!RunIsolated({MdbReaderPath(), kMdbReaderCheck, database->path}, timeout, &stream) ||
        !stream.starts_with(kCheckedStreamHead)) {
      return false;
    }
  } else {
    std::unique_ptr<IsolatedProgram> reader;
    if (ahead && ahead->first == first && ahead->database.SameFileAs(*database)) {
      reader = std::move(ahead->reader);
    } else {
      reader = StartIsolated({MdbReaderPath(), kMdbReaderRows, database->path, first->table()}, timeout);
    }
    if (!reader) return false;
    std::string stream;
    char buffer[4096];
    while (stream.size() < head) {
      size_t size = 0;
      if (reader->Read(buffer, sizeof buffer, &size) != IsolatedProgram::ReadResult::kData) return false;
      stream.append(buffer, size);
    }
    if (!stream.starts_with(kCheckedStreamHead)) return false;
    first->TakeReader(std::move(reader), stream.substr(head));
  }
  database_ = std::move(database);
  return true;
}

}  // namespace kavel
