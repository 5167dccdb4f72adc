// Expressions in text objects. Square brackets delimit an expression; text outside them prints
// verbatim. An expression can only read a field of a dataset binding or a system value:
//
//   [DBDataset1."Line1"]   the field (name without regard to case) of the binding's current row
//   [DATE]                    the date the preparation started, in the regional short-date format
//   [TIME]                    the time the preparation started, in the regional long-time format
//   [PAGE#]                   the number of the page being built, from 1
//
// Anything else between brackets is an unknown expression: it prints nothing and is reported.
// A "[" without a closing "]" is not an expression and prints as it stands.
#ifndef REPORTENGINE_MODEL_EXPRESSION_H_
#define REPORTENGINE_MODEL_EXPRESSION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace re {

// A reference to a dataset field: binding."Field" (the quotes may be left out).
struct FieldRef {
  std::string binding;
  std::string field;
  friend bool operator==(const FieldRef&, const FieldRef&) = default;
};

// Parses `binding."Field"` (blanks around it allowed). Returns nothing for any other form.
std::optional<FieldRef> ParseFieldRef(std::string_view expression);

// One part of a text object's text.
struct TextPart {
  enum class Kind { kVerbatim, kField, kDate, kTime, kPageNumber, kUnknown };
  Kind kind = Kind::kVerbatim;
  std::string text;  // kVerbatim: the text; kUnknown: the expression as written, brackets included
  FieldRef field;    // kField
  friend bool operator==(const TextPart&, const TextPart&) = default;
};

// Splits a text into verbatim parts and expressions, in order. Adjacent verbatim text is merged.
std::vector<TextPart> ParseText(std::string_view text);

}  // namespace re

#endif  // REPORTENGINE_MODEL_EXPRESSION_H_
