# tolvan_core: the updater's logic without windows (update list, HTTPS client, flow, apply).
pkg_check_modules(TOLVAN_CURL REQUIRED IMPORTED_TARGET libcurl)

add_library(tolvan_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/apply_update.cc
  ${CMAKE_CURRENT_LIST_DIR}/id_http.cc
  ${CMAKE_CURRENT_LIST_DIR}/installed_pair.cc
  ${CMAKE_CURRENT_LIST_DIR}/program_starter.cc
  ${CMAKE_CURRENT_LIST_DIR}/text_util.cc
  ${CMAKE_CURRENT_LIST_DIR}/update_flow.cc
  ${CMAKE_CURRENT_LIST_DIR}/update_list.cc
  ${CMAKE_CURRENT_LIST_DIR}/version_number.cc)
target_include_directories(tolvan_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tolvan_core PUBLIC common PkgConfig::TOLVAN_CURL Threads::Threads)

project_test(tolvan_core_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/version_number_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/update_list_test.cc
    ${CMAKE_CURRENT_LIST_DIR}/text_util_test.cc
  LIBS program_folder_override_for_testing tolvan_core)

# Windows program files with a given FileVersion for the updater's tests, made by a real
# resource compiler and linker (binutils-mingw-w64): ${TOLVAN_PE_DIR}/v<version>.exe, and
# noversion.exe without any resource.
set(TOLVAN_PE_DIR ${CMAKE_BINARY_DIR}/tolvan_testdata CACHE INTERNAL "PE fixtures of the updater tests")
set(TOLVAN_PE_VERSIONS 1.0.0.0 2.0.0.2 2.0.0.3 2.0.0.9 2.0.0.12 1.10.0.0)
set(PE_FIXTURES)
foreach(version ${TOLVAN_PE_VERSIONS})
  string(REPLACE "." "," PE_COMMAS ${version})
  set(PE_VERSION ${version})
  set(rc ${TOLVAN_PE_DIR}/v${version}.rc)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/testdata/version.rc.in ${rc} @ONLY)
  add_pe_fixture(${TOLVAN_PE_DIR}/v${version}.exe RC ${rc} BITS 64)
endforeach()
add_pe_fixture(${TOLVAN_PE_DIR}/noversion.exe NO_RESOURCES BITS 64)
set(TOLVAN_PE_FILES ${PE_FIXTURES})
add_custom_target(tolvan_pe_fixtures DEPENDS ${TOLVAN_PE_FILES})
add_dependencies(tolvan_core_test tolvan_pe_fixtures)
target_compile_definitions(tolvan_core_test PRIVATE TOLVAN_PE_DIR="${TOLVAN_PE_DIR}/")
