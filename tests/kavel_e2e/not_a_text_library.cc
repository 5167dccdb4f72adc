// A library that takes the soname of HarfBuzz, fontconfig or libhyphen but holds none of their
// functions: a run that finds it first (LD_LIBRARY_PATH) shows how Kavel fares when that library
// cannot be loaded, or that it never loads it.
extern "C" int kavel_e2e_not_a_text_library() { return 0; }
