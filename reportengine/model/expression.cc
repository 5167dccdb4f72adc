#include "reportengine/model/expression.h"

#include <cctype>

#include "common/trim.h"
#include "reportengine/model/ascii_case.h"

namespace re {
namespace {

bool IsIdentifier(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || c == '_' || u >= 0x80)) return false;
  }
  return true;
}

void AppendVerbatim(std::vector<TextPart>& parts, std::string_view text) {
  if (text.empty()) return;
  if (!parts.empty() && parts.back().kind == TextPart::Kind::kVerbatim) {
    parts.back().text.append(text);
  } else {
    parts.push_back({TextPart::Kind::kVerbatim, std::string(text), {}});
  }
}

TextPart ParseExpression(std::string_view inner) {
  const std::string_view e = common::Trim(inner);
  if (EqualsIgnoringAsciiCase(e, "DATE")) return {TextPart::Kind::kDate, {}, {}};
  if (EqualsIgnoringAsciiCase(e, "TIME")) return {TextPart::Kind::kTime, {}, {}};
  if (EqualsIgnoringAsciiCase(e, "PAGE#")) return {TextPart::Kind::kPageNumber, {}, {}};
  if (auto ref = ParseFieldRef(e)) return {TextPart::Kind::kField, {}, std::move(*ref)};
  return {TextPart::Kind::kUnknown, "[" + std::string(inner) + "]", {}};
}

}  // namespace

std::optional<FieldRef> ParseFieldRef(std::string_view expression) {
  const std::string_view e = common::Trim(expression);
  const size_t dot = e.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view binding = common::Trim(e.substr(0, dot));
  std::string_view field = common::Trim(e.substr(dot + 1));
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    field = field.substr(1, field.size() - 2);
    if (field.empty() || field.find('"') != std::string_view::npos) return std::nullopt;
  } else if (!IsIdentifier(field)) {
    return std::nullopt;
  }
  if (!IsIdentifier(binding)) return std::nullopt;
  return FieldRef{std::string(binding), std::string(field)};
}

std::vector<TextPart> ParseText(std::string_view text) {
  std::vector<TextPart> parts;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('[', pos);
    if (open == std::string_view::npos) break;
    const size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) break;
    AppendVerbatim(parts, text.substr(pos, open - pos));
    parts.push_back(ParseExpression(text.substr(open + 1, close - open - 1)));
    pos = close + 1;
  }
  AppendVerbatim(parts, text.substr(pos));
  return parts;
}

}  // namespace re
