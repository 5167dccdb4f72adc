// Pieces the template files share: the fonts they name and the field references they print.
// Internal to kavel/templates/.
#ifndef KAVEL_TEMPLATES_TEMPLATE_PARTS_H_
#define KAVEL_TEMPLATES_TEMPLATE_PARTS_H_

#include <string>
#include <string_view>

#include "kavel/texts.h"
#include "reportengine/model/template.h"

namespace kavel::templates {

using re::Charset;

inline constexpr Charset kSjis = Charset::kShiftJis;  // the four Japanese faces

// The dataset bindings by the user names the templates' expressions use.
inline constexpr char kDBDataset1[] = "DBDataset1";  // rows of RepChk
inline constexpr char kDBDataset3[] = "DBDataset3";  // rows of Rep
inline constexpr char kDBDataset4[] = "DBDataset4";  // rows of RepChkList

// A field as a text object prints it: [DBDataset1."Line1"].
inline std::string FieldText(std::string_view dataset, std::string_view field) {
  return "[" + std::string(dataset) + ".\"" + std::string(field) + "\"]";
}
// A field as a group header's key: DBDataset4."Line1".
inline std::string FieldKey(std::string_view dataset, std::string_view field) {
  return std::string(dataset) + ".\"" + std::string(field) + "\"";
}

}  // namespace kavel::templates

#endif  // KAVEL_TEMPLATES_TEMPLATE_PARTS_H_
