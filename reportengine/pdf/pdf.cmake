# The PDF writer: its libraries and tests. HarfBuzz's headers come with reportengine_text, which
# loads the library itself on first use.
pkg_check_modules(PDF_DEPS REQUIRED IMPORTED_TARGET zlib)
target_link_libraries(reportengine_pdf PUBLIC PkgConfig::PDF_DEPS)
# Two tests read the written fonts back through FreeType; nothing else of the tree uses it.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)

project_test(pdf_syntax_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_syntax_test.cc
  LIBS reportengine)
project_test(pdf_exporter_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_exporter_test.cc
  LIBS reportengine PkgConfig::FREETYPE)
project_test(pdf_output_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_output_file_test.cc
  LIBS reportengine common)
project_test(pdf_font_subset_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pdf_font_subset_test.cc
  LIBS reportengine PkgConfig::FREETYPE)
