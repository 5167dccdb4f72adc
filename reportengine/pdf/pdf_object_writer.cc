#include "reportengine/pdf/pdf_object_writer.h"

#include <cstdio>

#include "reportengine/pdf/pdf_syntax.h"
#include "reportengine/pdf/pdf_texts.h"

namespace re::pdf {

ObjectWriter::ObjectWriter(OutputFile* file) : file_(file) {
  offsets_.push_back(0);  // object 0 heads the free list
  zlib_ready_ = deflateInit2(&zlib_, kDeflateLevel, Z_DEFLATED, kDeflateWindowBits, kDeflateMemLevel,
                             Z_DEFAULT_STRATEGY) == Z_OK;
  file_->Write(kHeader);
}

ObjectWriter::~ObjectWriter() {
  if (zlib_ready_) deflateEnd(&zlib_);
}

int ObjectWriter::Reserve() {
  offsets_.push_back(0);
  return static_cast<int>(offsets_.size() - 1);
}

void ObjectWriter::Begin(int number) {
  offsets_[number] = file_->Offset();
  scratch_.clear();
  AppendInt(&scratch_, number);
  scratch_.append(" 0 obj\n");
  file_->Write(scratch_);
}

void ObjectWriter::WriteObject(int number, std::string_view body) {
  Begin(number);
  file_->Write(body);
  file_->Write("\nendobj\n");
}

void ObjectWriter::WriteStream(int number, std::string_view dict_entries, std::string_view data,
                               bool compress) {
  std::string_view payload = data;
  if (compress && zlib_ready_) {
    // The buffer keeps its size from stream to stream, so it is neither allocated nor cleared
    // again for every page.
    const size_t bound = deflateBound(&zlib_, data.size());
    if (compressed_.size() < bound) compressed_.resize(bound);
    deflateReset(&zlib_);
    zlib_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zlib_.avail_in = static_cast<uInt>(data.size());
    zlib_.next_out = reinterpret_cast<Bytef*>(compressed_.data());
    zlib_.avail_out = static_cast<uInt>(compressed_.size());
    if (deflate(&zlib_, Z_FINISH) == Z_STREAM_END) {
      payload = std::string_view(compressed_.data(), zlib_.total_out);
    } else {
      compress = false;  // written plain rather than not at all
    }
  } else {
    compress = false;
  }
  Begin(number);
  scratch_.assign("<<");
  scratch_.append(dict_entries);
  if (compress) scratch_.append("/Filter/FlateDecode");
  scratch_.append("/Length ");
  AppendInt(&scratch_, static_cast<long long>(payload.size()));
  scratch_.append(">>\nstream\n");
  file_->Write(scratch_);
  file_->Write(payload);
  file_->Write("\nendstream\nendobj\n");
}

bool ObjectWriter::Finish(int root, int info, std::string_view file_id) {
  const uint64_t xref_offset = file_->Offset();
  std::string table = "xref\n0 ";
  AppendInt(&table, static_cast<long long>(offsets_.size()));
  table.append("\n0000000000 65535 f\r\n");
  bool complete = true;
  char entry[24];
  for (size_t i = 1; i < offsets_.size(); ++i) {
    complete = complete && offsets_[i] != 0;
    std::snprintf(entry, sizeof entry, "%010llu 00000 n\r\n",
                  static_cast<unsigned long long>(offsets_[i]));
    table.append(entry, 20);
  }
  std::string id;
  for (const char c : file_id) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    id.push_back(kHexDigits[(static_cast<unsigned char>(c) >> 4) & 15]);
    id.push_back(kHexDigits[static_cast<unsigned char>(c) & 15]);
  }
  table.append("trailer\n<</Size ");
  AppendInt(&table, static_cast<long long>(offsets_.size()));
  table.append("/Root ");
  AppendInt(&table, root);
  table.append(" 0 R/Info ");
  AppendInt(&table, info);
  table.append(" 0 R/ID[<" + id + "><" + id + ">]>>\nstartxref\n");
  AppendInt(&table, static_cast<long long>(xref_offset));
  table.append("\n%%EOF\n");
  file_->Write(table);
  return complete;
}

}  // namespace re::pdf
