# The check-results database: connection, Jet row sources through mdbtools' libmdb (kavel_db).
pkg_check_modules(LIBMDB REQUIRED IMPORTED_TARGET libmdb glib-2.0)

add_library(kavel_db STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_connection.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_isolated_call.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_table_source.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_value_text.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/windows_path.cc
)
target_include_directories(kavel_db PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kavel_db PUBLIC common PRIVATE PkgConfig::LIBMDB)

project_test(kavel_db_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_value_text_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_isolated_call_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_connection_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_table_source_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/windows_path_test.cc
  LIBS kavel_db jetwriter PkgConfig::LIBMDB)
