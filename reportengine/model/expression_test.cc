#include "reportengine/model/expression.h"

#include <gtest/gtest.h>

namespace re {
namespace {

using Kind = TextPart::Kind;

TextPart Verbatim(std::string s) { return {Kind::kVerbatim, std::move(s), {}}; }
TextPart Field(std::string b, std::string f) { return {Kind::kField, {}, {std::move(b), std::move(f)}}; }
TextPart System(Kind k) { return {k, {}, {}}; }
TextPart Unknown(std::string s) { return {Kind::kUnknown, std::move(s), {}}; }

TEST(ParseTextTest, SplitsVerbatimTextAndExpressions) {
  struct Case {
    std::string text;
    std::vector<TextPart> parts;
  };
  const Case cases[] = {
      {"", {}},
      {"平成２７年１０月社保", {Verbatim("平成２７年１０月社保")}},
      {"[DBDataset1.\"Line1\"]", {Field("DBDataset1", "Line1")}},
      {"[ DBDataset4.\"LINE7\" ]", {Field("DBDataset4", "LINE7")}},
      {"No. [PAGE#] of", {Verbatim("No. "), System(Kind::kPageNumber), Verbatim(" of")}},
      {"[DATE][TIME]", {System(Kind::kDate), System(Kind::kTime)}},
      {"[date]", {System(Kind::kDate)}},
      // A caption holding brackets is an expression all the same.
      {"令和[6]年", {Verbatim("令和"), Unknown("[6]"), Verbatim("年")}},
      {"[]", {Unknown("[]")}},
      // Without a closing bracket nothing is an expression.
      {"a [b", {Verbatim("a [b")}},
      {"x]y", {Verbatim("x]y")}},
      {"[a[b]c", {Unknown("[a[b]"), Verbatim("c")}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseText(c.text), c.parts) << c.text;
  }
}

TEST(ParseFieldRefTest, AcceptsOnlyBindingDotField) {
  EXPECT_EQ(ParseFieldRef("DBDataset4.\"Line1\""), (FieldRef{"DBDataset4", "Line1"}));
  EXPECT_EQ(ParseFieldRef("DBDataset4.Line2"), (FieldRef{"DBDataset4", "Line2"}));
  for (const char* bad : {"Line1", "DBDataset4.", ".\"Line1\"", "a.\"\"", "a.\"b\"c\"",
                          "a b.\"c\"", "1+1", "Now()"}) {
    EXPECT_FALSE(ParseFieldRef(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace re
