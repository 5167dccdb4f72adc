#include "tolvan/update_list.h"

#include <fstream>
#include <iterator>

#include "common/file_helper.h"
#include "common/text_encoding.h"
#include "common/texts.h"
#include "common/version_info.h"
#include "tolvan/text_util.h"
#include "tolvan/texts.h"
#include "tolvan/version_number.h"

namespace tolvan {
namespace {

bool IsSeparatorBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x01 && u <= 0x20;
}

}  // namespace

std::vector<std::string> SplitListRecord(std::string_view line) {
  // A NUL ends the line as far as the record is concerned.
  if (const size_t nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
  std::vector<std::string> fields;
  size_t p = 0;
  const size_t n = line.size();
  while (p < n && IsSeparatorBlank(line[p])) ++p;
  while (p < n) {
    std::string field;
    if (line[p] == '"') {
      ++p;
      while (p < n) {
        if (line[p] == '"') {
          if (p + 1 < n && line[p + 1] == '"') {
            field.push_back('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        field.push_back(line[p++]);
      }
    } else {
      const size_t start = p;
      while (p < n && line[p] != ',' && !IsSeparatorBlank(line[p])) ++p;
      field.assign(line.substr(start, p - start));
    }
    fields.push_back(std::move(field));
    while (p < n && IsSeparatorBlank(line[p])) ++p;
    if (p < n && line[p] == ',') {
      if (p + 1 == n) fields.emplace_back();
      ++p;
      while (p < n && IsSeparatorBlank(line[p])) ++p;
    }
  }
  return fields;
}

std::vector<std::string> ReadListLines(std::string_view bytes) {
  static constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  const bool utf8 = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (utf8) bytes.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); ++i) {
    if (i == bytes.size()) {
      if (i > start) lines.emplace_back(bytes.substr(start, i - start));
      break;
    }
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      lines.emplace_back(bytes.substr(start, i - start));
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (!utf8) {
    for (std::string& line : lines) line = common::Cp932ToUtf8(line);
  }
  return lines;
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos &&
         name.find('\\') == std::string_view::npos && name.find("..") == std::string_view::npos;
}

ListDecision CheckList(std::string_view list_bytes,
                       const std::function<std::optional<std::string>(const std::string& name)>&
                           installed_version,
                       const std::function<void(const std::string& line)>& log,
                       const std::string& setup_ver) {
  ListDecision decision;
  decision.gstSetupVer = setup_ver;
  log(texts::kLogListCheckStart);
  for (const std::string& line : ReadListLines(list_bytes)) {
    const std::vector<std::string> fields = SplitListRecord(line);
    // A record without a version says nothing about any file.
    if (fields.size() < 2) continue;
    const std::string name(Trim(fields[0]));
    const std::string latest(Trim(fields[1]));
    // The list comes from the network: a name reaching outside the program folder is never
    // looked at.
    if (IsPlainFileName(name)) {
      if (const std::optional<std::string> installed = installed_version(name)) {
        const int32_t iV = GetVerNo(Trim(*installed));
        const int32_t iV2 = GetVerNo(latest);
        log(Format(texts::kLogVersions, name, latest, *installed));
        if (iV2 > iV) {
          decision.result = 1;
          (name == texts::kMasterDbName ? decision.pinMKbn : decision.pinPKbn) = 1;
        }
      }
    }
    if (name == common::texts::kMainProgramName) decision.gstSetupVer = latest;
  }
  log(texts::kLogListCheckEnd);
  return decision;
}

ListDecision UListChk(common::Env& env, const std::string& pstDownloadPath,
                      const std::string& log_path, const std::string& setup_ver) {
  const std::string list_path = pstDownloadPath + texts::kUListName;
  if (!common::FileExists(list_path)) {
    env.WrtLog(log_path, Format(texts::kLogListAbsent, list_path));
    ListDecision decision;
    decision.gstSetupVer = setup_ver;
    return decision;
  }
  std::string bytes;
  {
    std::ifstream in(list_path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string& program_folder = env.ProgramFolder();
  return CheckList(
      bytes,
      [&](const std::string& name) -> std::optional<std::string> {
        if (!common::FileExists(program_folder + name)) return std::nullopt;
        if (name == texts::kMasterDbName) {
          return env.IFReadIniStr(common::texts::kSectionParam, texts::kKeyDbversion, "");
        }
        return common::GetEXEDLLVersionInfo2(program_folder + name);
      },
      [&](const std::string& line) { env.WrtLog(log_path, line); }, setup_ver);
}

}  // namespace tolvan
