#include "reportengine/qt/cups_printer.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/unique_fd.h"
#include "reportengine/qt/preview_texts.h"

namespace re {
namespace {

using preview::kPrintChunkBytes;

struct DestDeleter {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct HttpDeleter {
  void operator()(http_t* http) const { httpClose(http); }
};
struct InfoDeleter {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};

using DestPtr = std::unique_ptr<cups_dest_t, DestDeleter>;

bool IsAddress(const std::string& printer) {
  return printer.rfind("ipp://", 0) == 0 || printer.rfind("ipps://", 0) == 0;
}

// The destination named by `printer`: an IPP address directly, a CUPS queue by name (with an
// optional "/instance"), or the user's default queue when empty.
DestPtr FindDest(const std::string& printer) {
  if (IsAddress(printer)) return DestPtr(cupsGetDestWithURI(nullptr, printer.c_str()));
  if (printer.empty()) return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
  const size_t slash = printer.find('/');
  const std::string name = printer.substr(0, slash);
  const std::string instance = slash == std::string::npos ? "" : printer.substr(slash + 1);
  return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(),
                                  instance.empty() ? nullptr : instance.c_str()));
}

std::string LastCupsError() {
  const char* text = cupsLastErrorString();
  return text ? text : "";
}

bool Failed(ipp_status_t status) { return status > IPP_STATUS_OK_EVENTS_COMPLETE; }

}  // namespace

PrintResult SendPdfToPrinter(const PrintJobSettings& job, const std::string& pdf_path,
                             const PrintProgressFn& progress, std::string* error) {
  const common::UniqueFd file(open(pdf_path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!file.valid() || fstat(file.get(), &st) != 0) {
    *error = preview::kPrintFileUnreadable;
    return PrintResult::kFailed;
  }
  const uint64_t total = static_cast<uint64_t>(st.st_size);

  DestPtr dest = FindDest(job.printer);
  if (!dest) {
    *error = std::string(preview::kPrintNoPrinter) + (job.printer.empty() ? "-" : job.printer);
    return PrintResult::kFailed;
  }
  // A queue is reached through the CUPS server that holds it; an address directly.
  const unsigned connect_flags = IsAddress(job.printer) ? CUPS_DEST_FLAGS_DEVICE
                                                        : CUPS_DEST_FLAGS_NONE;
  int cancel_connect = 0;
  std::unique_ptr<http_t, HttpDeleter> http(
      cupsConnectDest(dest.get(), connect_flags, preview::kPrintConnectTimeoutMs,
                      &cancel_connect, nullptr, 0, nullptr, nullptr));
  if (!http) {
    *error = std::string(preview::kPrintConnectFailed) + dest->name;
    return PrintResult::kFailed;
  }
  std::unique_ptr<cups_dinfo_t, InfoDeleter> info(cupsCopyDestInfo(http.get(), dest.get()));
  if (!info) {
    *error = std::string(preview::kPrintConnectFailed) + dest->name + ": " + LastCupsError();
    return PrintResult::kFailed;
  }

  cups_option_t* options = nullptr;
  int option_count = 0;
  const std::string copies = std::to_string(std::max(1, job.copies));
  option_count = cupsAddOption(CUPS_COPIES, copies.c_str(), option_count, &options);
  if (job.copies > 1) {
    option_count = cupsAddOption("multiple-document-handling",
                                 job.collate ? "separate-documents-collated-copies"
                                             : "separate-documents-uncollated-copies",
                                 option_count, &options);
  }
  const char* sides = job.sides == PrintJobSettings::Sides::kTwoSidedLongEdge
                          ? CUPS_SIDES_TWO_SIDED_PORTRAIT
                      : job.sides == PrintJobSettings::Sides::kTwoSidedShortEdge
                          ? CUPS_SIDES_TWO_SIDED_LANDSCAPE
                          : CUPS_SIDES_ONE_SIDED;
  option_count = cupsAddOption(CUPS_SIDES, sides, option_count, &options);

  int job_id = 0;
  const ipp_status_t created = cupsCreateDestJob(http.get(), dest.get(), info.get(), &job_id,
                                                 job.title.c_str(), option_count, options);
  cupsFreeOptions(option_count, options);
  if (Failed(created) || job_id <= 0) {
    *error = std::string(preview::kPrintFailed) + LastCupsError();
    return PrintResult::kFailed;
  }

  // From here on a job exists at the printer: any way out but the finished document cancels it,
  // so no half document is ever printed.
  auto cancel_job = [&] {
    http.reset();  // the document request is cut off mid-way; ask on a fresh connection
    std::unique_ptr<http_t, HttpDeleter> again(
        cupsConnectDest(dest.get(), connect_flags, preview::kPrintConnectTimeoutMs,
                        &cancel_connect, nullptr, 0, nullptr, nullptr));
    if (again) cupsCancelDestJob(again.get(), dest.get(), job_id);
  };

  if (cupsStartDestDocument(http.get(), dest.get(), info.get(), job_id, job.title.c_str(),
                            CUPS_FORMAT_PDF, 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
    *error = std::string(preview::kPrintFailed) + LastCupsError();
    cancel_job();
    return PrintResult::kFailed;
  }
  std::vector<char> buffer(kPrintChunkBytes);
  uint64_t sent = 0;
  if (progress && !progress(0, total)) {
    cancel_job();
    return PrintResult::kCancelled;
  }
  for (;;) {
    const ssize_t n = read(file.get(), buffer.data(), buffer.size());
    if (n < 0) {
      *error = preview::kPrintFileUnreadable;
      cancel_job();
      return PrintResult::kFailed;
    }
    if (n == 0) break;
    if (cupsWriteRequestData(http.get(), buffer.data(), static_cast<size_t>(n)) !=
        HTTP_STATUS_CONTINUE) {
      *error = std::string(preview::kPrintFailed) + LastCupsError();
      cancel_job();
      return PrintResult::kFailed;
    }
    sent += static_cast<uint64_t>(n);
    if (progress && !progress(sent, total)) {
      cancel_job();
      return PrintResult::kCancelled;
    }
  }
  if (Failed(cupsFinishDestDocument(http.get(), dest.get(), info.get()))) {
    *error = std::string(preview::kPrintFailed) + LastCupsError();
    cancel_job();
    return PrintResult::kFailed;
  }
  return PrintResult::kPrinted;
}

}  // namespace re
