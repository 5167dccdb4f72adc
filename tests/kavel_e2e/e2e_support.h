// Support for the end-to-end tests of Kavel: a throw-away program folder holding a copy of the
// real executable, runs of it without a display, and readers of what a run leaves behind
// (user.ini, Pdf.log, the PDF files) through the real tools (iconv, poppler, qpdf).
#ifndef TESTS_KAVEL_E2E_E2E_SUPPORT_H_
#define TESTS_KAVEL_E2E_E2E_SUPPORT_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kavel_e2e {

struct ProcessResult {
  int exit_code = -1;  // -1 when the process did not exit normally (signal)
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs `argv` (argv[0] a path) in `cwd` with the environment of the test minus DISPLAY and
// WAYLAND_DISPLAY, waits for it, and returns what it printed.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd = ".");

// One table of a test database: column names and types in the writer's terms ("Long",
// "Text(255)", "Memo"...), rows of values (nullopt = NULL).
struct Table {
  std::string name;
  std::vector<std::pair<std::string, std::string>> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

// Writes a Jet 4 database holding `tables` to `path`.
void WriteDatabase(const std::string& path, const std::vector<Table>& tables);

// The tables of a check-results database with `n` generated rows each; num runs 1..n.
Table RepChkTable(int n);
Table RepTable(int n);
Table RepChkListTable(int n);

// Values of section PARAM of `folder`'s user.ini (CP932 read through iconv); empty when there is
// none. `folder` ends with "/".
std::map<std::string, std::string> ParamFlagsIn(const std::string& folder);
// The texts of `folder`'s Pdf.log lines, UTF-8, time stamps removed.
std::vector<std::string> LogTextsIn(const std::string& folder);

// A program folder under the temporary folder with a copy of the built Kavel in it; removed with
// everything in it at the end.
class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  const std::string& path() const { return path_; }  // ends with "/"
  std::string File(const std::string& name) const { return path_ + name; }
  bool Exists(const std::string& name) const;
  // Names of the folder's entries, sorted, without the lock file that guards user.ini and the
  // database reader that sits beside Kavel.
  std::vector<std::string> Entries() const;

  // Puts a copy of the built window module beside the program, as installed, so that a run with
  // a display loads it.
  void AddWindowModule() const;

  // Runs Kavel with these arguments from another folder (the run must not depend on it).
  ProcessResult Run(const std::vector<std::string>& args) const;
  // The same with `env` ("NAME=value") added to the environment; a run that has not ended after
  // two minutes is killed (a window nobody closes).
  ProcessResult RunWith(const std::vector<std::string>& env,
                        const std::vector<std::string>& args) const;

  std::map<std::string, std::string> ParamFlags() const { return ParamFlagsIn(path_); }
  std::vector<std::string> LogTexts() const { return LogTextsIn(path_); }

 private:
  std::string path_;
};

// --- PDF readers ------------------------------------------------------------------------------

// pdfinfo's fields ("Pages", "PDF version", "Author", ...).
std::map<std::string, std::string> PdfInfo(const std::string& pdf);
int PdfPageCount(const std::string& pdf);

// A word as pdftotext -bbox places it, in millimetres from the page's top-left corner.
struct Word {
  std::string text;
  double left = 0, top = 0, right = 0, bottom = 0;
};
using PageWords = std::vector<Word>;
std::vector<PageWords> PdfWords(const std::string& pdf);

// The words of a page joined with blanks, for "contains" checks.
std::string PageText(const PageWords& words);
// The first word on the page that starts with `prefix`, or nullopt.
std::optional<Word> FindWord(const PageWords& words, const std::string& prefix);
// How many words of the page start with `prefix`.
int CountWordsStartingWith(const PageWords& words, const std::string& prefix);

// pdffonts rows: font name, embedded ("yes"/"no"), subset, has ToUnicode.
struct PdfFont {
  std::string name;
  bool embedded = false, subset = false, to_unicode = false;
};
std::vector<PdfFont> PdfFonts(const std::string& pdf);

// True when qpdf --check finds no error.
bool QpdfCheck(const std::string& pdf);

// The whole file, as bytes.
std::string ReadFile(const std::string& path);

}  // namespace kavel_e2e

#endif  // TESTS_KAVEL_E2E_E2E_SUPPORT_H_
