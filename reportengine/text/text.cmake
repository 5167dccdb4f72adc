# Fonts, shaping and line breaking: HarfBuzz for shaping and the faces' tables, fontconfig to find
# faces not at their packages' places, libhyphen for Russian word breaks.
#
# The engine compiles against their headers but does not link them: text_libraries.cc loads each
# one on first use (see text_libraries.h), so a program linking the engine does not pay for
# loading them, and their dependency trees, before its main().
pkg_check_modules(TEXT_LIBS REQUIRED IMPORTED_TARGET harfbuzz fontconfig)
find_path(HYPHEN_INCLUDE_DIR NAMES hyphen.h REQUIRED)
target_include_directories(reportengine_text SYSTEM PUBLIC ${TEXT_LIBS_INCLUDE_DIRS})
target_include_directories(reportengine_text PRIVATE ${HYPHEN_INCLUDE_DIR})
target_compile_options(reportengine_text PUBLIC ${TEXT_LIBS_CFLAGS_OTHER})
target_link_libraries(reportengine_text PUBLIC ${CMAKE_DL_LIBS})

project_test(reportengine_text_shaper_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_shaper_test.cc LIBS reportengine)
project_test(reportengine_line_break_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/line_break_test.cc LIBS reportengine)
project_test(reportengine_hyphenation_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hyphenation_test.cc LIBS reportengine)
project_test(reportengine_font_metrics_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_metrics_test.cc LIBS reportengine)
project_test(reportengine_font_resolver_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_resolver_test.cc LIBS reportengine)

# Figures, not a test: run by hand or from scripts/bench.
add_executable(reportengine_text_shaper_perftest ${CMAKE_CURRENT_LIST_DIR}/text_shaper_perftest.cc)
target_link_libraries(reportengine_text_shaper_perftest PRIVATE reportengine)
