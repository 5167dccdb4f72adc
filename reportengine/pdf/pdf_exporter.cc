#include "reportengine/pdf/pdf_exporter.h"

#include <unistd.h>

#include <optional>

#include "reportengine/pdf/engine_info.h"
#include "reportengine/pdf/pdf_font.h"
#include "reportengine/pdf/pdf_object_writer.h"
#include "reportengine/pdf/pdf_output_file.h"
#include "reportengine/pdf/pdf_page_content.h"
#include "reportengine/pdf/pdf_syntax.h"

namespace re {
namespace {

// The document identifier: two FNV-1a hashes over what makes this export unique.
std::string FileId(const std::string& file_name, std::chrono::system_clock::time_point when,
                   size_t pages) {
  const std::string seed = file_name + "|" + std::to_string(when.time_since_epoch().count()) +
                           "|" + std::to_string(::getpid()) + "|" + std::to_string(pages);
  std::string id;
  for (const uint64_t basis : {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull}) {
    uint64_t hash = basis;
    for (const char c : seed) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001B3ull;
    }
    for (int i = 0; i < 8; ++i) id.push_back(static_cast<char>(hash >> (8 * i)));
  }
  return id;
}

void AppendRef(std::string* out, int number) {
  pdf::AppendInt(out, number);
  out->append(" 0 R");
}

void AppendInfoEntry(std::string* out, const char* key, const std::string& value) {
  if (value.empty()) return;
  out->append(key);
  pdf::AppendTextString(out, value);
}

// Calls Finished() on every way out of an export that called Started().
class ProgressScope {
 public:
  explicit ProgressScope(ExportProgress* progress, int pages) : progress_(progress) {
    if (progress_ != nullptr) progress_->Started(pages);
  }
  ~ProgressScope() {
    if (progress_ != nullptr) progress_->Finished();
  }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  void PageWritten(int n) {
    if (progress_ != nullptr) progress_->PageWritten(n);
  }

 private:
  ExportProgress* progress_;
};

}  // namespace

bool PdfExporter::Export(const PreparedReport& report, ExportProgress* progress,
                         std::vector<std::string>* errors) {
  creation_time_ = std::chrono::system_clock::now();
  std::string error;
  if (Write(report, ShowProgress ? progress : nullptr, &error)) return true;
  if (errors != nullptr) errors->push_back(error);
  return false;
}

bool PdfExporter::Write(const PreparedReport& report, ExportProgress* progress,
                        std::string* error) {
  pdf::OutputFile file;
  file.SimulateDiskFullAfter(disk_full_after_);
  if (!file.Open(FileName, error)) return false;

  // A report without pages still becomes a readable file: one blank page of the default size.
  static const std::vector<PreparedPage> kBlankPage(1);
  const std::vector<PreparedPage>& pages = report.pages.empty() ? kBlankPage : report.pages;
  ProgressScope scope(progress, static_cast<int>(report.pages.size()));

  pdf::ObjectWriter writer(&file);
  const int catalog = writer.Reserve();
  const int page_tree = writer.Reserve();
  const int info = writer.Reserve();

  pdf::FontSet fonts(report.fonts);
  std::vector<std::optional<int>> font_objects(report.fonts.size());
  std::vector<int> kids;
  kids.reserve(pages.size());
  std::string content;
  std::vector<int> fonts_used;
  std::string dict;
  for (size_t i = 0; i < pages.size(); ++i) {
    const PreparedPage& page = pages[i];
    if (!pdf::BuildPageContent(page, &fonts, &content, &fonts_used, error)) return false;
    const int stream = writer.Reserve();
    const int page_object = writer.Reserve();
    writer.WriteStream(stream, "", content, Compressed);

    dict = "<</Type/Page/Parent ";
    AppendRef(&dict, page_tree);
    dict.append("/MediaBox[0 0 ");
    pdf::AppendNumber(&dict, pdf::PageWidthPt(page));
    dict.push_back(' ');
    pdf::AppendNumber(&dict, pdf::PageHeightPt(page));
    dict.append("]/Resources<<");
    if (!fonts_used.empty()) {
      dict.append("/Font<<");
      for (const int f : fonts_used) {
        if (!font_objects[f]) font_objects[f] = writer.Reserve();
        dict.append("/F");
        pdf::AppendInt(&dict, f);
        dict.push_back(' ');
        AppendRef(&dict, *font_objects[f]);
      }
      dict.append(">>");
    }
    dict.append(">>/Contents ");
    AppendRef(&dict, stream);
    dict.append(">>");
    writer.WriteObject(page_object, dict);
    kids.push_back(page_object);
    // A full disk ends the export at once instead of converting the remaining pages.
    if (file.failed()) return file.Commit(error);
    if (i < report.pages.size()) scope.PageWritten(static_cast<int>(i + 1));
  }

  for (size_t f = 0; f < font_objects.size(); ++f) {
    if (!font_objects[f]) continue;
    std::string font_error;
    pdf::Font* font = fonts.Get(static_cast<int>(f), &font_error);
    if (font == nullptr ||
        !font->WriteObjects(&writer, *font_objects[f], EmbeddedFonts, Compressed, &font_error)) {
      *error = font_error;
      return false;
    }
  }

  dict = "<</Type/Pages/Kids[";
  for (size_t i = 0; i < kids.size(); ++i) {
    if (i > 0) dict.push_back(' ');
    AppendRef(&dict, kids[i]);
  }
  dict.append("]/Count ");
  pdf::AppendInt(&dict, static_cast<long long>(kids.size()));
  dict.append(">>");
  writer.WriteObject(page_tree, dict);

  dict = "<</Type/Catalog/Pages ";
  AppendRef(&dict, page_tree);
  dict.append(">>");
  writer.WriteObject(catalog, dict);

  dict = "<<";
  AppendInfoEntry(&dict, "/Title", Title);
  AppendInfoEntry(&dict, "/Author", Author);
  AppendInfoEntry(&dict, "/Subject", Subject);
  AppendInfoEntry(&dict, "/Keywords", Keywords);
  AppendInfoEntry(&dict, "/Creator", Creator);
  AppendInfoEntry(&dict, "/Producer", kEngineName);
  dict.append("/CreationDate");
  pdf::AppendLiteralString(
      &dict, pdf::FormatLocalDate(std::chrono::system_clock::to_time_t(creation_time_)));
  dict.append(">>");
  writer.WriteObject(info, dict);

  if (!writer.Finish(catalog, info, FileId(FileName, creation_time_, kids.size()))) {
    *error = pdf::kErrIncomplete + FileName;
    return false;
  }
  return file.Commit(error);
}

}  // namespace re
