# Templates, expressions, band layout, pagination, the prepared-report file and the report
# operations (reportengine_model and reportengine_layout, made in ../CMakeLists.txt): their tests.
project_test(report_layout_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/model/expression_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/prepared_report_file_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/report_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/layout_test.cc
  LIBS reportengine)
