#include "kavel/mdb_table_source.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/little_endian.h"
#include "common/text_format.h"
#include "kavel/mdb_connection.h"
#include "kavel/mdb_database.h"
#include "kavel/mdb_reader.h"
#include "kavel/mdb_texts.h"

namespace kavel {
namespace {

// The pipe is read in pieces of this size; a larger row makes room for itself.
constexpr size_t kReadSize = 1 << 16;
// A record longer than this is not believed: the file has no value that long.
constexpr uint64_t kLargestRecord = uint64_t{1} << 31;

}  // namespace

MdbTableSource::MdbTableSource(const MdbConnection& connection, std::string table)
    : connection_(connection), table_(std::move(table)) {}

MdbTableSource::~MdbTableSource() = default;

void MdbTableSource::Close() {
  open_ = false;
  field_names_.clear();
  ForgetStream();
  buffer_ = {};
}

void MdbTableSource::ForgetStream() {
  reader_.reset();
  handed_over_ = false;
  begin_ = end_ = 0;
  values_.clear();
  rows_read_ = 0;
  at_end_ = false;
}

void MdbTableSource::TakeReader(std::unique_ptr<IsolatedProgram> reader, std::string rest) {
  Close();
  reader_ = std::move(reader);
  handed_over_ = true;
  buffer_.assign(rest.begin(), rest.end());
  end_ = buffer_.size();
}

int MdbTableSource::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < field_names_.size(); ++i) {
    const std::string& field = field_names_[i];
    if (field.size() == name.size() && ::strncasecmp(field.data(), name.data(), name.size()) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string_view MdbTableSource::Value(int field) const {
  if (field < 0 || static_cast<size_t>(field) >= values_.size()) return {};
  return values_[static_cast<size_t>(field)];
}

bool MdbTableSource::Open(std::string* error) {
  if (open_) return true;
  const MdbDatabase* db = connection_.database();
  if (db == nullptr) {
    Close();
    *error = kMessageConnectionClosed;
    return false;
  }
  path_ = db->path;
  timeout_seconds_ = IsolationTimeoutSeconds(*db);
  std::vector<std::string> fields;
  const StreamResult result = StartStream(&fields, error);
  if (result != StreamResult::kDone) {
    Fail(result, error);
    Close();
    return false;
  }
  field_names_ = std::move(fields);
  open_ = true;
  return true;
}

bool MdbTableSource::First(std::string* error) {
  if (!open_) return false;
  if (rows_read_ > 0 || at_end_ || !reader_) {
    // Read before: the rows come again from a reader of their own, with the same fields.
    ForgetStream();
    std::vector<std::string> fields;
    StreamResult result = StartStream(&fields, error);
    if (result == StreamResult::kDone && fields != field_names_) result = StreamResult::kBroken;
    if (result != StreamResult::kDone) return Fail(result, error);
  }
  return Next(error);
}

bool MdbTableSource::Next(std::string* error) {
  if (!open_ || at_end_) return false;
  if (!reader_) return Fail(StreamResult::kBroken, error);
  const StreamResult result = ReadRow(error);
  if (result == StreamResult::kDone) return true;
  if (result == StreamResult::kEnd) return false;
  return Fail(result, error);
}

bool MdbTableSource::Fail(StreamResult result, std::string* error) {
  // A reader that crashed, stalled or wrote nonsense read a damaged file.
  if (result == StreamResult::kBroken) *error = common::FillIn(kMessageDamaged, {path_});
  reader_.reset();
  values_.clear();
  begin_ = end_ = 0;
  return false;
}

bool MdbTableSource::Have(size_t count, bool* broken) {
  while (end_ - begin_ < count) {
    // Room after the bytes not yet taken: they move to the front, and the buffer grows only for
    // a row larger than it.
    if (buffer_.size() - end_ < kReadSize) {
      // The current row stays readable (until the next one is complete, or at the end).
      if (!values_.empty() && !values_kept_) {
        kept_.assign(values_.begin(), values_.end());
        for (size_t i = 0; i < values_.size(); ++i) values_[i] = kept_[i];
        values_kept_ = true;
      }
      if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
      }
      if (buffer_.size() - end_ < kReadSize) buffer_.resize(std::max(buffer_.size() * 2, end_ + kReadSize));
    }
    size_t size = 0;
    switch (reader_->Read(buffer_.data() + end_, buffer_.size() - end_, &size)) {
      case IsolatedProgram::ReadResult::kData:
        end_ += size;
        break;
      case IsolatedProgram::ReadResult::kEnd:
        return false;
      case IsolatedProgram::ReadResult::kFailed:
        *broken = true;
        return false;
    }
  }
  return true;
}

bool MdbTableSource::RecordAt(size_t at, char* kind, size_t* length) {
  bool broken = false;
  if (!Have(at + kRecordHeadSize, &broken)) return false;
  const uint64_t size = common::ReadLittleEndian(buffer_.data() + begin_ + at + 1, 4);
  if (size > kLargestRecord || !Have(at + kRecordHeadSize + size, &broken)) return false;
  *kind = buffer_[begin_ + at];
  *length = static_cast<size_t>(size);
  return true;
}

MdbTableSource::StreamResult MdbTableSource::StartStream(std::vector<std::string>* fields, std::string* error) {
  const bool checked = handed_over_;
  if (!reader_) {
    reader_ = StartIsolated({MdbReaderPath(), kMdbReaderRows, path_, table_}, timeout_seconds_);
    if (!reader_) return StreamResult::kBroken;
  }
  bool broken = false;
  if (!checked) {
    const size_t head = kCheckedStreamHead.size();
    if (!Have(head, &broken) || std::string_view(buffer_.data() + begin_, head) != kCheckedStreamHead) {
      return StreamResult::kBroken;
    }
    begin_ += head;
  }
  for (;;) {
    char kind = 0;
    size_t length = 0;
    if (!RecordAt(0, &kind, &length)) return StreamResult::kBroken;
    const std::string_view payload(buffer_.data() + begin_ + kRecordHeadSize, length);
    begin_ += kRecordHeadSize + payload.size();
    switch (kind) {
      case kRecordField:
        fields->emplace_back(payload);
        break;
      case kRecordRowsFollow:
        if (fields->empty() || !payload.empty()) return StreamResult::kBroken;
        return StreamResult::kDone;
      case kRecordError:
        *error = std::string(payload);
        return StreamResult::kProviderError;
      default:
        return StreamResult::kBroken;
    }
  }
}

MdbTableSource::StreamResult MdbTableSource::ReadRow(std::string* error) {
  bool broken = false;
  // Offsets from the row's first record: the buffer may move while the row comes in.
  std::vector<std::pair<size_t, size_t>>& cells = cells_;
  cells.clear();
  size_t at = 0;
  while (cells.size() < field_names_.size()) {
    char kind = 0;
    size_t length = 0;
    if (!RecordAt(at, &kind, &length)) return StreamResult::kBroken;
    const size_t payload_at = at + kRecordHeadSize;
    at = payload_at + length;
    if (kind == kRecordValue) {
      cells.emplace_back(payload_at, length);
      continue;
    }
    if (kind == kRecordError) {
      *error = std::string(buffer_.data() + begin_ + payload_at, length);
      return StreamResult::kProviderError;
    }
    // The end, between rows only, with the count of rows delivered and nothing after it; the
    // reader must then end normally.
    if (kind != kRecordEnd || !cells.empty() || length != 8 ||
        common::ReadLittleEndian(buffer_.data() + begin_ + payload_at, 8) != rows_read_) {
      return StreamResult::kBroken;
    }
    begin_ += at;
    if (Have(1, &broken) || broken || !reader_->Finish()) return StreamResult::kBroken;
    reader_.reset();
    at_end_ = true;
    return StreamResult::kEnd;
  }
  const char* row = buffer_.data() + begin_;
  values_.clear();
  values_kept_ = false;
  for (const auto& [offset, length] : cells) values_.emplace_back(row + offset, length);
  begin_ += at;
  ++rows_read_;
  return StreamResult::kDone;
}

}  // namespace kavel
