// The PDF exporter (`PDFExport1`): writes a prepared report as a PDF 1.7 file at FileName.
//
// The file holds one page per prepared page, its content Flate-compressed (Compressed), every
// font face the pages use embedded once as a subset (EmbeddedFonts) with a ToUnicode map so
// its text can be searched and copied, and a document information dictionary with Author,
// Subject, the engine as Producer and the moment of the export as CreationDate. It has no
// encryption, no permissions, no outline and no viewer preferences. The exporter never asks
// before replacing a file and never opens the file afterwards.
//
// Pages are written to the file as they are converted; only the font usage and the object
// offsets are kept until the end. The target is replaced in one rename after everything was
// written and synced, so a failed or killed export leaves the old file as it was.
#ifndef REPORTENGINE_PDF_PDF_EXPORTER_H_
#define REPORTENGINE_PDF_PDF_EXPORTER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reportengine/layout/exporter.h"
#include "reportengine/pdf/pdf_texts.h"

namespace re {

class PdfExporter : public PageStreamExporter {
 public:
  // Settings, named as the templates name them.
  std::string FileName;                        // full path of the file to write
  std::string Author = pdf::kDefaultAuthor;
  std::string Subject = pdf::kDefaultSubject;
  std::string Title;                           // left out of the file when empty
  std::string Keywords;                        // left out of the file when empty
  std::string Creator;                         // left out of the file when empty
  bool Compressed = true;                      // Flate-compress every stream
  bool EmbeddedFonts = true;                   // embed the font subsets
  bool ShowProgress = true;                    // report pages to the ExportProgress

  // Writes `report` to FileName. Returns true when the file was written completely. On failure
  // (no file name, folder missing or not writable, target read-only or not a file, disk full,
  // font file unreadable) appends one error text to *errors, leaves an existing file at
  // FileName as it was, leaves no temporary file, and returns false. With ShowProgress and a
  // non-null `progress`: Started(page count), PageWritten(n) after each page, and Finished()
  // once at the end whether or not the export succeeded.
  bool Export(const PreparedReport& report, ExportProgress* progress,
              std::vector<std::string>* errors) override;

  // The same file written page by page while the report is prepared (no progress is shown):
  // Begin stamps the creation time and opens the output; the bytes equal those Export writes
  // for the same pages at the same moment.
  bool Begin(const std::vector<FontFace>& fonts, std::vector<std::string>* errors) override;
  void LoadFonts() override;
  // Reads the widths and ink boxes of the line's glyphs from the face, which brings the parts of
  // the font file the page and the subset will read into memory while the page is laid out.
  void Foresee(const ShapedLine& line) override;
  bool AddPage(const PreparedPage& page) override;
  bool Finish(std::vector<std::string>* errors) override;
  void Abandon() override;

  PdfExporter();
  ~PdfExporter() override;
  PdfExporter(const PdfExporter&) = delete;
  PdfExporter& operator=(const PdfExporter&) = delete;

  // The moment the last export (Export or Begin) started, written as the creation date.
  std::chrono::system_clock::time_point CreationTime() const { return creation_time_; }

  // For tests: writes fail as on a full disk once `bytes` bytes reached the file.
  void SimulateDiskFullAfter(uint64_t bytes) { disk_full_after_ = bytes; }
  // For tests: every export takes this moment as its creation time, so two exports of the same
  // pages give the same bytes.
  void FixCreationTimeForTesting(std::chrono::system_clock::time_point when) { fixed_time_ = when; }

 private:
  struct Output;  // one file being written

  bool Write(const PreparedReport& report, ExportProgress* progress, std::string* error);
  bool Complete(std::string* error);  // the fonts, page tree, catalog, info, trailer; commits

  std::unique_ptr<Output> output_;                        // between Begin and Finish

  std::chrono::system_clock::time_point creation_time_;  // stamped by Begin()
  uint64_t disk_full_after_ = UINT64_MAX;                 // simulated disk capacity
  std::optional<std::chrono::system_clock::time_point> fixed_time_;  // tests only
};

}  // namespace re

#endif  // REPORTENGINE_PDF_PDF_EXPORTER_H_
