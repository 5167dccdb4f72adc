// Writes numbered PDF objects one after another to an output file, remembers where each one
// starts and ends the file with the cross-reference table and trailer. Objects are written as
// soon as they are complete; only their offsets stay in memory.
#ifndef REPORTENGINE_PDF_PDF_OBJECT_WRITER_H_
#define REPORTENGINE_PDF_PDF_OBJECT_WRITER_H_

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reportengine/pdf/pdf_output_file.h"

namespace re::pdf {

class ObjectWriter {
 public:
  // Writes the file header at once. `file` must be open and outlive the writer.
  explicit ObjectWriter(OutputFile* file);
  ~ObjectWriter();
  ObjectWriter(const ObjectWriter&) = delete;
  ObjectWriter& operator=(const ObjectWriter&) = delete;

  // A new object number, to be written later with Begin() or WriteStream().
  int Reserve();

  // Writes "N 0 obj", the body and "endobj". REQUIRES: N came from Reserve() and was not
  // written before.
  void WriteObject(int number, std::string_view body);

  // Writes a stream object whose dictionary holds `dict_entries` plus /Length (and /Filter
  // when `compress`).
  void WriteStream(int number, std::string_view dict_entries, std::string_view data,
                   bool compress);

  // Writes the cross-reference table and the trailer naming `root` and `info`; `file_id` is
  // the 16-byte identifier of the document. Returns false when some reserved object was never
  // written (a fault of the caller).
  bool Finish(int root, int info, std::string_view file_id);

 private:
  void Begin(int number);

  OutputFile* file_;                // where the bytes go
  std::vector<uint64_t> offsets_;   // byte offset per object number, 0 while unwritten
  z_stream zlib_{};                 // one deflater reset for every stream
  bool zlib_ready_ = false;         // deflateInit succeeded
  std::string scratch_;             // object headers
  std::string compressed_;          // a stream's compressed data; only grows
};

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_OBJECT_WRITER_H_
