// Errors collected during one report operation: a sorted list of distinct texts, and the text of
// the error box that shows them.
#ifndef REPORTENGINE_MODEL_ERROR_LIST_H_
#define REPORTENGINE_MODEL_ERROR_LIST_H_

#include <set>
#include <string>
#include <vector>

namespace re {

class ErrorList {
 public:
  void Add(std::string text) { errors_.insert(std::move(text)); }
  bool empty() const { return errors_.empty(); }
  // The collected texts, sorted (byte order), each once.
  std::vector<std::string> Sorted() const { return {errors_.begin(), errors_.end()}; }

 private:
  std::set<std::string> errors_;  // sorted and distinct by construction
};

// "The following error(s) have occured:", a line break, then the errors one per line.
std::string ErrorBoxText(const std::vector<std::string>& errors);

}  // namespace re

#endif  // REPORTENGINE_MODEL_ERROR_LIST_H_
