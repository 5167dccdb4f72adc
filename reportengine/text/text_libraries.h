// HarfBuzz, fontconfig and libhyphen are loaded when the engine first needs them, not when the
// program starts: a short run pays the dynamic loader for them only once it looks up fonts, and
// a run that never hyphenates Russian or asks fontconfig never loads those at all.
//
// The engine calls the libraries' functions by their own names (hb_shape, FcInit,
// hnj_hyphen_load...). text_libraries.cc defines those names itself, hidden inside the program
// so that Qt, loaded into the same process, still binds to the real libraries: the first call
// into a library opens it by its soname and takes the addresses of every function the engine
// uses from it; each call then goes through to the real function.
//
// A library that cannot be opened, or lacks one of those functions, makes the call that needed
// it throw std::runtime_error with a text naming the library and the loader's reason; no call
// ever goes through a null address. The next call tries again.
#ifndef REPORTENGINE_TEXT_TEXT_LIBRARIES_H_
#define REPORTENGINE_TEXT_TEXT_LIBRARIES_H_

namespace re {

// Loads HarfBuzz now, unless it is loaded already, so that a thread that will shape text soon
// takes the loading off the one that does other work meanwhile. fontconfig and libhyphen are
// left to their first use. Throws std::runtime_error when HarfBuzz cannot be loaded.
void PreloadTextLibraries();

}  // namespace re

#endif  // REPORTENGINE_TEXT_TEXT_LIBRARIES_H_
