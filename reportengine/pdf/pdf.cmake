# The PDF writer: its libraries and tests.
pkg_check_modules(PDF_DEPS REQUIRED IMPORTED_TARGET zlib harfbuzz freetype2)
target_link_libraries(reportengine_pdf PUBLIC PkgConfig::PDF_DEPS)

project_test(pdf_syntax_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_syntax_test.cc
  LIBS reportengine)
project_test(pdf_exporter_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_exporter_test.cc
  LIBS reportengine)
project_test(pdf_output_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_output_file_test.cc
  LIBS reportengine common)
project_test(pdf_font_subset_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_font_subset_test.cc
  LIBS reportengine)
