# Fonts, shaping and line breaking: FreeType for metrics, HarfBuzz for shaping, fontconfig to find
# faces not at their packages' places, libhyphen for Russian word breaks.
pkg_check_modules(TEXT_LIBS REQUIRED IMPORTED_TARGET harfbuzz freetype2 fontconfig)
find_library(HYPHEN_LIBRARY NAMES hyphen REQUIRED)
find_path(HYPHEN_INCLUDE_DIR NAMES hyphen.h REQUIRED)
target_include_directories(reportengine_text PRIVATE ${HYPHEN_INCLUDE_DIR})
target_link_libraries(reportengine_text PUBLIC PkgConfig::TEXT_LIBS ${HYPHEN_LIBRARY})

project_test(reportengine_text_shaper_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_shaper_test.cc LIBS reportengine)
project_test(reportengine_line_break_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/line_break_test.cc LIBS reportengine)
project_test(reportengine_hyphenation_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hyphenation_test.cc LIBS reportengine)
project_test(reportengine_font_metrics_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_metrics_test.cc LIBS reportengine)
project_test(reportengine_font_resolver_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/font_resolver_test.cc LIBS reportengine)

# Figures, not a test: run by hand or from scripts/bench.
add_executable(reportengine_text_shaper_perftest ${CMAKE_CURRENT_LIST_DIR}/text_shaper_perftest.cc)
target_link_libraries(reportengine_text_shaper_perftest PRIVATE reportengine)
