// Sends a finished PDF file to a printer through CUPS, as one job with the copies and sides the
// user chose. The printer receives the engine's own PDF, so what comes out of it is the same
// document as an exported file: text stays text, fonts stay embedded.
//
// Works without a CUPS server on this machine too: a printer may be named by its IPP address
// (ipp://host:port/path), which is then spoken to directly.
#ifndef REPORTENGINE_QT_CUPS_PRINTER_H_
#define REPORTENGINE_QT_CUPS_PRINTER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace re {

struct PrintJobSettings {
  enum class Sides { kOneSided, kTwoSidedLongEdge, kTwoSidedShortEdge };

  // A CUPS destination name ("Office" or "Office/duplex"), an ipp:// or ipps:// address, or
  // empty for the user's default printer.
  std::string printer;
  std::string title;        // the job's name in the printer queue
  int copies = 1;
  bool collate = true;      // with copies: whole sets one after another
  Sides sides = Sides::kOneSided;
};

enum class PrintResult { kPrinted, kCancelled, kFailed };

// Told how far the sending has come; returns false to cancel the job. Called from the thread
// that calls SendPdfToPrinter.
using PrintProgressFn = std::function<bool(uint64_t bytes_sent, uint64_t bytes_total)>;

// Sends the PDF file at `pdf_path` as one job. Blocks until the printer has taken the whole
// document, the job was cancelled (a job already created is cancelled at the printer too), or
// it failed; on failure *error says why in the user's words. Safe to call from a worker thread.
PrintResult SendPdfToPrinter(const PrintJobSettings& job, const std::string& pdf_path,
                             const PrintProgressFn& progress, std::string* error);

}  // namespace re

#endif  // REPORTENGINE_QT_CUPS_PRINTER_H_
