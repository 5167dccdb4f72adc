// A library that takes HarfBuzz's soname but holds none of its functions: a run that finds it
// first (LD_LIBRARY_PATH) shows how Kavel fares when HarfBuzz cannot be loaded.
extern "C" int kavel_e2e_not_harfbuzz() { return 0; }
