#include "reportengine/model/error_list.h"

#include "reportengine/model/report_texts.h"

namespace re {

std::string ErrorBoxText(const std::vector<std::string>& errors) {
  std::string text = kErrorBoxHeading;
  for (const std::string& e : errors) {
    text += '\n';
    text += e;
  }
  return text;
}

}  // namespace re
