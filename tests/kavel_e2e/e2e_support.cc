#include "tests/kavel_e2e/e2e_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tools/jet_writer.h"

extern char** environ;

namespace kavel_e2e {
namespace fs = std::filesystem;

namespace {

constexpr double kMmPerPoint = 25.4 / 72.0;
constexpr char kReaderProgram[] = "kavel-mdb-reader";

std::string MakeTempFolder(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern + "/";
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path, ec);
}

// Runs a tool and returns its standard output; throws when it cannot be run.
std::string Tool(const std::vector<std::string>& argv) {
  ProcessResult r = RunProcess(argv);
  if (r.exit_code < 0) throw std::runtime_error(argv[0] + " did not finish");
  return r.out;
}

std::string HtmlUnescape(std::string s) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#39;", "'"},
      {"&amp;", "&"}};
  for (const auto& [from, to] : kEntities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
      s.replace(at, std::strlen(from), to);
    }
  }
  return s;
}

std::string Cp932FileToUtf8(const std::string& path) {
  if (!fs::exists(path)) return {};
  return Tool({"/usr/bin/iconv", "-f", "CP932", "-t", "UTF-8", path});
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd) {
  std::string scratch = MakeTempFolder("kavel-e2e-out");
  std::string out_path = scratch + "out", err_path = scratch + "err";

  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string_view entry(*e);
    if (entry.starts_with("DISPLAY=") || entry.starts_with("WAYLAND_DISPLAY=")) continue;
    env_strings.emplace_back(entry);
  }
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& s : args) argp.push_back(s.data());
  argp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ProcessResult result;
  if (rc != 0) {
    RemoveTree(scratch);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  RemoveTree(scratch);
  return result;
}

void WriteDatabase(const std::string& path, const std::vector<Table>& tables) {
  jet::DatabaseWriter writer;
  auto check = [&](const jet::Status& status) {
    if (!status) throw std::runtime_error("database writer: " + status.message);
  };
  for (const Table& table : tables) {
    std::vector<jet::Column> columns;
    for (const auto& [name, type] : table.columns) {
      jet::Column column{name};
      if (type == "Long") {
        column.type = jet::ColumnType::kLong;
      } else if (type == "Memo") {
        column.type = jet::ColumnType::kMemo;
      } else if (type.starts_with("Text(")) {
        column.type = jet::ColumnType::kText;
        column.max_chars = std::stoi(type.substr(5));
      } else {
        throw std::runtime_error("unknown column type " + type);
      }
      columns.push_back(column);
    }
    check(writer.BeginTable(table.name, columns));
    for (const auto& row : table.rows) {
      std::vector<jet::Value> values;
      for (size_t c = 0; c < row.size(); ++c) {
        if (!row[c]) {
          values.emplace_back(std::monostate{});
        } else if (columns[c].type == jet::ColumnType::kLong) {
          values.emplace_back(int64_t{std::stoll(*row[c])});
        } else {
          values.emplace_back(*row[c]);
        }
      }
      check(writer.AddRow(values));
    }
    check(writer.EndTable());
  }
  check(writer.WriteFile(path));
}

// --- Test tables ------------------------------------------------------------------------------

Table RepChkTable(int n) {
  Table t{"RepChk",
          {{"num", "Long"}, {"Line1", "Text(255)"}, {"Line2", "Text(255)"},
           {"Line3", "Text(255)"}, {"Line4", "Text(255)"}},
          {}};
  for (int i = 1; i <= n; ++i) {
    std::string s = std::to_string(i);
    t.rows.push_back({s, "A" + s, "L2-" + s, "L3-" + s, "L4-" + s});
  }
  return t;
}

Table RepTable(int n) {
  Table t{"Rep", {{"num", "Long"}}, {}};
  for (int c = 1; c <= 11; ++c) t.columns.push_back({"Line" + std::to_string(c), "Text(255)"});
  for (int i = 1; i <= n; ++i) {
    std::string s = std::to_string(i);
    std::vector<std::optional<std::string>> row{s, "K" + s};
    for (int c = 2; c <= 11; ++c) row.push_back("C" + std::to_string(c) + "-" + s);
    t.rows.push_back(std::move(row));
  }
  return t;
}

Table RepChkListTable(int n) {
  Table t{"RepChkList", {{"num", "Long"}}, {}};
  for (int c = 1; c <= 8; ++c) t.columns.push_back({"LINE" + std::to_string(c), "Text(255)"});
  for (int i = 1; i <= n; ++i) {
    std::string s = std::to_string(i);
    std::vector<std::optional<std::string>> row{s};
    for (int c = 1; c <= 8; ++c) row.push_back("V" + std::to_string(c) + "-" + s);
    t.rows.push_back(std::move(row));
  }
  return t;
}

// --- Program folder ----------------------------------------------------------------------------

ProgramFolder::ProgramFolder() : path_(MakeTempFolder("kavel-e2e")) {
  // The program and the database reader it starts, side by side as installed.
  for (const char* file : {"Kavel", kReaderProgram}) {
    fs::copy_file(fs::path(PROJECT_BINARY_DIR) / "kavel" / file, path_ + file);
  }
}

ProgramFolder::~ProgramFolder() { RemoveTree(path_); }

void ProgramFolder::AddWindowModule() const {
  fs::copy_file(fs::path(PROJECT_BINARY_DIR) / "kavel" / "kavel_window.so",
                path_ + "kavel_window.so");
}

bool ProgramFolder::Exists(const std::string& name) const { return fs::exists(path_ + name); }

std::vector<std::string> ProgramFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    std::string name = entry.path().filename().string();
    if (name != "user.ini.lock" && name != kReaderProgram) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

ProcessResult ProgramFolder::Run(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{path_ + "Kavel"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, "/");
}

ProcessResult ProgramFolder::RunWith(const std::vector<std::string>& env,
                                     const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"/usr/bin/timeout", "120", "/usr/bin/env"};
  argv.insert(argv.end(), env.begin(), env.end());
  argv.push_back(path_ + "Kavel");
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, "/");
}

std::map<std::string, std::string> ParamFlagsIn(const std::string& folder) {
  std::map<std::string, std::string> flags;
  std::istringstream in(Cp932FileToUtf8(folder + "user.ini"));
  std::string line;
  bool in_param = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("[")) {
      in_param = line == "[PARAM]";
    } else if (in_param) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) flags[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return flags;
}

std::vector<std::string> LogTextsIn(const std::string& folder) {
  // "yyyy/MM/dd H:mm:ss text": the two first blanks end the time stamp.
  static const std::regex kStamp(R"(^\d{4}/\d{2}/\d{2}( \d{1,2}:\d{2}:\d{2})? )");
  std::vector<std::string> texts;
  std::istringstream in(Cp932FileToUtf8(folder + "Pdf.log"));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    texts.push_back(std::regex_replace(line, kStamp, "", std::regex_constants::format_first_only));
  }
  return texts;
}

// --- PDF readers ----------------------------------------------------------------------------

std::map<std::string, std::string> PdfInfo(const std::string& pdf) {
  std::map<std::string, std::string> info;
  std::istringstream in(Tool({"/usr/bin/pdfinfo", pdf}));
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t value = line.find_first_not_of(' ', colon + 1);
    info[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  return info;
}

int PdfPageCount(const std::string& pdf) {
  auto info = PdfInfo(pdf);
  return info.count("Pages") ? std::stoi(info["Pages"]) : -1;
}

std::vector<PageWords> PdfWords(const std::string& pdf) {
  std::string html = Tool({"/usr/bin/pdftotext", "-bbox", "-enc", "UTF-8", pdf, "-"});
  static const std::regex kWord(
      R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  std::vector<PageWords> pages;
  size_t pos = 0;
  while ((pos = html.find("<page ", pos)) != std::string::npos) {
    size_t end = html.find("</page>", pos);
    std::string body = html.substr(pos, end - pos);
    PageWords words;
    for (std::sregex_iterator it(body.begin(), body.end(), kWord), last; it != last; ++it) {
      const std::smatch& m = *it;
      words.push_back({HtmlUnescape(m[5]), std::stod(m[1]) * kMmPerPoint,
                       std::stod(m[2]) * kMmPerPoint, std::stod(m[3]) * kMmPerPoint,
                       std::stod(m[4]) * kMmPerPoint});
    }
    pages.push_back(std::move(words));
    pos = end;
  }
  return pages;
}

std::string PageText(const PageWords& words) {
  std::string text;
  for (const Word& w : words) text += (text.empty() ? "" : " ") + w.text;
  return text;
}

std::optional<Word> FindWord(const PageWords& words, const std::string& prefix) {
  for (const Word& w : words) {
    if (w.text.starts_with(prefix)) return w;
  }
  return std::nullopt;
}

int CountWordsStartingWith(const PageWords& words, const std::string& prefix) {
  int n = 0;
  for (const Word& w : words) n += w.text.starts_with(prefix) ? 1 : 0;
  return n;
}

std::vector<PdfFont> PdfFonts(const std::string& pdf) {
  std::vector<PdfFont> fonts;
  std::istringstream in(Tool({"/usr/bin/pdffonts", pdf}));
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    if (n++ < 2) continue;  // heading and rule
    std::istringstream fields(line);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(fields),
                                    std::istream_iterator<std::string>()};
    if (tokens.size() < 6) continue;
    size_t k = tokens.size();  // ... emb sub uni object-id generation
    fonts.push_back({tokens[0], tokens[k - 5] == "yes", tokens[k - 4] == "yes",
                     tokens[k - 3] == "yes"});
  }
  return fonts;
}

bool QpdfCheck(const std::string& pdf) {
  return RunProcess({"/usr/bin/qpdf", "--check", pdf}).exit_code == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kavel_e2e
