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

// One file being written: what is kept from the first page to the trailer.
struct PdfExporter::Output {
  explicit Output(const std::vector<FontFace>& faces) : fonts(faces), font_set(fonts) {}

  pdf::OutputFile file;
  std::unique_ptr<pdf::ObjectWriter> writer;
  int catalog = 0, page_tree = 0, info = 0;
  std::vector<FontFace> fonts;                  // the report's font table
  pdf::FontSet font_set;                        // over `fonts`
  std::vector<std::optional<int>> font_objects;  // object number per font, once a page uses it
  std::vector<int> kids;                        // page objects
  std::string content, dict;                    // scratch
  std::vector<int> fonts_used;
  std::string error;                            // the first failure
  bool failed = false;
};

PdfExporter::PdfExporter() = default;
PdfExporter::~PdfExporter() = default;

bool PdfExporter::Export(const PreparedReport& report, ExportProgress* progress,
                         std::vector<std::string>* errors) {
  std::string error;
  if (Write(report, ShowProgress ? progress : nullptr, &error)) return true;
  if (errors != nullptr) errors->push_back(error);
  return false;
}

bool PdfExporter::Begin(const std::vector<FontFace>& fonts, std::vector<std::string>* errors) {
  creation_time_ = fixed_time_.value_or(std::chrono::system_clock::now());
  output_ = std::make_unique<Output>(fonts);
  Output& out = *output_;
  out.file.SimulateDiskFullAfter(disk_full_after_);
  if (!out.file.Open(FileName, &out.error)) {
    if (errors != nullptr) errors->push_back(out.error);
    output_.reset();
    return false;
  }
  out.writer = std::make_unique<pdf::ObjectWriter>(&out.file);
  out.catalog = out.writer->Reserve();
  out.page_tree = out.writer->Reserve();
  out.info = out.writer->Reserve();
  out.font_objects.resize(fonts.size());
  return true;
}

void PdfExporter::LoadFonts() {
  if (!output_) return;
  for (size_t f = 0; f < output_->fonts.size(); ++f) {
    std::string ignored;  // kept by the font set for the page that uses the font
    output_->font_set.Get(static_cast<int>(f), &ignored);
  }
}

void PdfExporter::Foresee(const ShapedLine& line) {
  if (!output_) return;
  std::string ignored;  // a font that cannot be loaded fails the page that uses it
  pdf::Font* font = output_->font_set.Get(line.font, &ignored);
  if (font == nullptr) return;
  for (const Glyph& glyph : line.glyphs) {
    font->Width(glyph.id);
    font->Ink(glyph.id);
  }
}

bool PdfExporter::AddPage(const PreparedPage& page) {
  if (!output_ || output_->failed) return false;
  Output& out = *output_;
  pdf::ObjectWriter& writer = *out.writer;
  if (!pdf::BuildPageContent(page, &out.font_set, &out.content, &out.fonts_used, &out.error)) {
    out.failed = true;
    return false;
  }
  const int stream = writer.Reserve();
  const int page_object = writer.Reserve();
  writer.WriteStream(stream, "", out.content, Compressed);

  std::string& dict = out.dict;
  dict = "<</Type/Page/Parent ";
  AppendRef(&dict, out.page_tree);
  dict.append("/MediaBox[0 0 ");
  pdf::AppendNumber(&dict, pdf::PageWidthPt(page));
  dict.push_back(' ');
  pdf::AppendNumber(&dict, pdf::PageHeightPt(page));
  dict.append("]/Resources<<");
  if (!out.fonts_used.empty()) {
    dict.append("/Font<<");
    for (const int f : out.fonts_used) {
      if (!out.font_objects[f]) out.font_objects[f] = writer.Reserve();
      dict.append("/F");
      pdf::AppendInt(&dict, f);
      dict.push_back(' ');
      AppendRef(&dict, *out.font_objects[f]);
    }
    dict.append(">>");
  }
  dict.append(">>/Contents ");
  AppendRef(&dict, stream);
  dict.append(">>");
  writer.WriteObject(page_object, dict);
  out.kids.push_back(page_object);
  // A full disk ends the export at once instead of converting the remaining pages.
  if (out.file.failed()) out.failed = true;
  return !out.failed;
}

bool PdfExporter::Finish(std::vector<std::string>* errors) {
  std::string error;
  bool ok = output_ != nullptr;
  if (ok) {
    // A report without pages still becomes a readable file: one blank page of the default size.
    if (output_->kids.empty() && !output_->failed) AddPage(PreparedPage{});
    ok = Complete(&error);
  }
  output_.reset();
  if (!ok && errors != nullptr) errors->push_back(error);
  return ok;
}

void PdfExporter::Abandon() { output_.reset(); }

bool PdfExporter::Complete(std::string* error) {
  Output& out = *output_;
  if (out.failed) {
    // A failed write is the file's to report; a page that could not be converted says why.
    if (out.file.failed()) return out.file.Commit(error);
    *error = out.error;
    return false;
  }
  pdf::ObjectWriter& writer = *out.writer;
  for (size_t f = 0; f < out.font_objects.size(); ++f) {
    if (!out.font_objects[f]) continue;
    std::string font_error;
    pdf::Font* font = out.font_set.Get(static_cast<int>(f), &font_error);
    if (font == nullptr ||
        !font->WriteObjects(&writer, *out.font_objects[f], EmbeddedFonts, Compressed, &font_error)) {
      *error = font_error;
      return false;
    }
  }

  std::string& dict = out.dict;
  dict = "<</Type/Pages/Kids[";
  for (size_t i = 0; i < out.kids.size(); ++i) {
    if (i > 0) dict.push_back(' ');
    AppendRef(&dict, out.kids[i]);
  }
  dict.append("]/Count ");
  pdf::AppendInt(&dict, static_cast<long long>(out.kids.size()));
  dict.append(">>");
  writer.WriteObject(out.page_tree, dict);

  dict = "<</Type/Catalog/Pages ";
  AppendRef(&dict, out.page_tree);
  dict.append(">>");
  writer.WriteObject(out.catalog, dict);

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
  writer.WriteObject(out.info, dict);

  if (!writer.Finish(out.catalog, out.info, FileId(FileName, creation_time_, out.kids.size()))) {
    *error = pdf::kErrIncomplete + FileName;
    return false;
  }
  return out.file.Commit(error);
}

bool PdfExporter::Write(const PreparedReport& report, ExportProgress* progress,
                        std::string* error) {
  std::vector<std::string> errors;
  if (!Begin(report.fonts, &errors)) {
    *error = errors.empty() ? std::string() : errors.front();
    return false;
  }
  ProgressScope scope(progress, static_cast<int>(report.pages.size()));
  for (size_t i = 0; i < report.pages.size(); ++i) {
    if (!AddPage(report.pages[i])) break;
    scope.PageWritten(static_cast<int>(i + 1));
  }
  if (Finish(&errors)) return true;
  *error = errors.empty() ? std::string() : errors.back();
  return false;
}

}  // namespace re
