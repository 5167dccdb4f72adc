#include "kavel/mdb_table_source.h"

#include <strings.h>

#include <cstring>
#include <limits>
#include <utility>

#include "common/little_endian.h"
#include "common/text_format.h"
#include "kavel/mdb_connection.h"
#include "kavel/mdb_database.h"
#include "kavel/mdb_isolated_call.h"
#include "kavel/mdb_reader.h"
#include "kavel/mdb_texts.h"

namespace kavel {

MdbTableSource::MdbTableSource(const MdbConnection& connection, std::string table)
    : connection_(connection), table_(std::move(table)) {}

void MdbTableSource::Close() {
  open_ = false;
  field_names_.clear();
  stream_.clear();
  stream_.shrink_to_fit();
  row_starts_ = {};
  values_ = 0;
  row_count_ = 0;
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

std::string_view MdbTableSource::Value(size_t row, int field) const {
  if (row >= row_count_ || field < 0 || static_cast<size_t>(field) >= field_names_.size()) return {};
  // The records were checked when the stream was parsed.
  const char* record = stream_.data() + row_starts_[row];
  for (int f = 0; f < field; ++f) record += kRecordHeadSize + common::ReadLittleEndian(record + 1, 4);
  return std::string_view(record + kRecordHeadSize, static_cast<size_t>(common::ReadLittleEndian(record + 1, 4)));
}

bool MdbTableSource::Open(std::string* error) {
  if (open_) return true;
  Close();
  const MdbDatabase* db = connection_.database();
  if (db == nullptr) {
    *error = kMessageConnectionClosed;
    return false;
  }
  std::string stream;
  const bool ran = RunIsolated({MdbReaderPath(), kMdbReaderRows, db->path, table_}, IsolationTimeoutSeconds(*db),
                               &stream, [](std::string_view head) -> size_t {
                                 // The size record right after the signature, when it has come.
                                 const size_t at = kRowStreamSignature.size();
                                 if (head.size() < at + kRecordHeadSize + 8 || head[at] != kRecordSize) return 0;
                                 return static_cast<size_t>(common::ReadLittleEndian(head.data() + at + kRecordHeadSize, 8));
                               });
  const StreamResult result = ran ? Parse(std::move(stream), error) : StreamResult::kBroken;
  if (result == StreamResult::kRows) {
    open_ = true;
    return true;
  }
  // A reader that crashed, stalled or wrote nonsense read a damaged file.
  if (result == StreamResult::kBroken) *error = common::FillIn(kMessageDamaged, {db->path});
  Close();
  return false;
}

MdbTableSource::StreamResult MdbTableSource::Parse(std::string stream, std::string* error) {
  // Cells address the stream with 32-bit offsets.
  if (stream.size() > std::numeric_limits<uint32_t>::max()) return StreamResult::kBroken;
  if (stream.compare(0, kRowStreamSignature.size(), kRowStreamSignature) != 0) return StreamResult::kBroken;
  size_t at = kRowStreamSignature.size();
  size_t expected_rows = 0;
  for (;;) {
    if (stream.size() - at < kRecordHeadSize) return StreamResult::kBroken;
    const char kind = stream[at];
    const uint64_t length = common::ReadLittleEndian(stream.data() + at + 1, 4);
    at += kRecordHeadSize;
    if (length > stream.size() - at) return StreamResult::kBroken;
    const std::string_view payload(stream.data() + at, static_cast<size_t>(length));
    const size_t payload_at = at;
    at += payload.size();
    switch (kind) {
      case kRecordSize: {
        if (payload_at != kRowStreamSignature.size() + kRecordHeadSize || payload.size() != kRecordSizePayload) {
          return StreamResult::kBroken;
        }
        // Room for the cells at once; a count the stream cannot hold is not believed.
        const uint64_t rows = common::ReadLittleEndian(payload.data() + 8, 8);
        if (rows <= stream.size() / kRecordHeadSize) expected_rows = static_cast<size_t>(rows);
        break;
      }
      case kRecordField:
        if (values_ != 0) return StreamResult::kBroken;
        field_names_.emplace_back(payload);
        break;
      case kRecordValue:
        if (field_names_.empty()) return StreamResult::kBroken;
        if (values_ % field_names_.size() == 0) {
          if (values_ == 0) row_starts_.reserve(expected_rows);
          row_starts_.push_back(static_cast<uint32_t>(payload_at - kRecordHeadSize));
        }
        ++values_;
        break;
      case kRecordError:
        if (at != stream.size()) return StreamResult::kBroken;
        *error = std::string(payload);
        return StreamResult::kProviderError;
      case kRecordEnd: {
        if (at != stream.size() || payload.size() != 8 || field_names_.empty()) return StreamResult::kBroken;
        const uint64_t rows = common::ReadLittleEndian(payload.data(), 8);
        if (values_ % field_names_.size() != 0 || values_ / field_names_.size() != rows) {
          return StreamResult::kBroken;
        }
        row_count_ = static_cast<size_t>(rows);
        // The values stay where they arrived: no copy of the largest part.
        stream_ = std::move(stream);
        return StreamResult::kRows;
      }
      default:
        return StreamResult::kBroken;
    }
  }
}

}  // namespace kavel
