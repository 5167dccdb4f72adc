# The check-results database: connection and Jet row sources (kavel_db), and the database reader
# program they start, the only part that links mdbtools' libmdb (kavel-mdb-reader).
pkg_check_modules(LIBMDB REQUIRED IMPORTED_TARGET libmdb glib-2.0)

# The checks on the file that Kavel and the reader both make before libmdb sees it.
add_library(kavel_mdb_file STATIC ${CMAKE_CURRENT_SOURCE_DIR}/mdb_database.cc)
target_include_directories(kavel_mdb_file PUBLIC ${PROJECT_SOURCE_DIR})
# Linked into the window module too.
set_property(TARGET kavel_mdb_file PROPERTY POSITION_INDEPENDENT_CODE ON)

add_library(kavel_db STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_connection.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_isolated_call.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_table_source.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/windows_path.cc
)
target_include_directories(kavel_db PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kavel_db PUBLIC common kavel_mdb_file)

# The reader's work as a library, so that the in-process fuzz target can call it directly.
add_library(kavel_mdb_reader_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_reader.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/mdb_value_text.cc
)
target_include_directories(kavel_mdb_reader_core PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(kavel_mdb_reader_core PRIVATE ${LIBMDB_INCLUDE_DIRS})
target_link_libraries(kavel_mdb_reader_core PUBLIC common kavel_mdb_file)

# libmdb with GLib, shared, for the tests and the fuzz target that run the reader's work in
# process.
add_library(kavel_libmdb_shared INTERFACE)
target_link_libraries(kavel_libmdb_shared INTERFACE PkgConfig::LIBMDB)

# <build>/kavel/kavel-mdb-reader, beside Kavel and the tests here; a program in another folder
# that opens the database gets a link to it beside itself (kavel_reader_beside).
add_executable(kavel-mdb-reader ${CMAKE_CURRENT_SOURCE_DIR}/mdb_reader_main.cc)
target_link_libraries(kavel-mdb-reader PRIVATE kavel_mdb_reader_core)
# Kavel waits for the reader's first answer, and loading and binding shared libraries is a good
# part of a small program's start. The reader carries its own libstdc++ (it shares no C++ objects
# with any library; libmdb and GLib are C) and, where their archives are installed, its own
# libmdb, GLib and PCRE2. Sanitizer builds keep the shared libraries their runtimes expect.
set(reader_archives)
foreach(name mdb glib-2.0 pcre2-8)
  find_library(READER_ARCHIVE_${name} NAMES lib${name}.a)
  list(APPEND reader_archives ${READER_ARCHIVE_${name}})
endforeach()
set(reader_libmdb kavel_libmdb_shared)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT ENABLE_SANITIZERS)
  target_link_options(kavel-mdb-reader PRIVATE -static-libstdc++ -static-libgcc)
  if(NOT reader_archives MATCHES "NOTFOUND")
    set(reader_libmdb ${reader_archives} Threads::Threads m)
  endif()
endif()
target_link_libraries(kavel-mdb-reader PRIVATE ${reader_libmdb})
# Whatever links the row sources needs the reader built.
add_dependencies(kavel_db kavel-mdb-reader)

function(kavel_reader_beside target)
  add_dependencies(${target} kavel-mdb-reader)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:kavel-mdb-reader>
            $<TARGET_FILE_DIR:${target}>/kavel-mdb-reader
    VERBATIM)
endfunction()

project_test(kavel_db_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_value_text_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_isolated_call_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_connection_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/mdb_table_source_test.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/windows_path_test.cc
  LIBS kavel_db kavel_mdb_reader_core kavel_libmdb_shared jetwriter)
