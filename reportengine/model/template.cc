#include "reportengine/model/template.h"

namespace re {
namespace {

const std::string& ObjectName(const ReportObject& object) {
  return std::visit([](const auto& o) -> const std::string& { return o.name; }, object);
}

}  // namespace

const ReportObject* FindTemplateObject(const Template& t, std::string_view name) {
  for (const Band& band : t.bands) {
    for (const ReportObject& object : band.objects) {
      if (ObjectName(object) == name) return &object;
    }
  }
  return nullptr;
}

ReportObject* FindTemplateObject(Template& t, std::string_view name) {
  return const_cast<ReportObject*>(FindTemplateObject(static_cast<const Template&>(t), name));
}

}  // namespace re
