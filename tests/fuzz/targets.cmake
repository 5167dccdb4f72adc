# The fuzz targets: <name>_fuzzer.cc each, and the libraries it links.
set(FUZZ_TARGETS settings version_info update_list expression prepared_report mdb)
set(FUZZ_LIBS_settings common)
set(FUZZ_LIBS_version_info common)
set(FUZZ_LIBS_update_list tolvan_core)
set(FUZZ_LIBS_expression reportengine)
set(FUZZ_LIBS_prepared_report reportengine)
set(FUZZ_LIBS_mdb kavel_db)
