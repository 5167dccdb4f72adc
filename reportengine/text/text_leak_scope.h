// fontconfig (parsing its configuration) and libhyphen (loading patterns) each lose a few bytes
// that no call of theirs can free. Under LeakSanitizer those would fail every test that touches
// text, so the calls that lose them run inside a LibraryLeakScope; in other builds it is empty.
#ifndef REPORTENGINE_TEXT_TEXT_LEAK_SCOPE_H_
#define REPORTENGINE_TEXT_TEXT_LEAK_SCOPE_H_

#if defined(__SANITIZE_ADDRESS__)
#define REPORTENGINE_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REPORTENGINE_LEAK_CHECKS 1
#endif
#endif

#ifdef REPORTENGINE_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace re {

class LibraryLeakScope {
 public:
#ifdef REPORTENGINE_LEAK_CHECKS
  LibraryLeakScope() { __lsan_disable(); }
  ~LibraryLeakScope() { __lsan_enable(); }
#else
  // User-provided, so that a scope object counts as used.
  LibraryLeakScope() {}
  ~LibraryLeakScope() {}
#endif
  LibraryLeakScope(const LibraryLeakScope&) = delete;
  LibraryLeakScope& operator=(const LibraryLeakScope&) = delete;
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_TEXT_LEAK_SCOPE_H_
