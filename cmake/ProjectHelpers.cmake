# Small helpers shared by every folder's CMakeLists.

# project_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>] [LABELS <labels...>])
# Builds one GoogleTest executable and registers each of its tests with ctest.
# Tests run from their own build folder; the source tree is available as PROJECT_SOURCE_DIR
# in the environment so tests can reach committed fixtures.
function(project_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    PROJECT_SOURCE_DIR="${PROJECT_SOURCE_DIR}" PROJECT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}"
      LABELS "${T_LABELS}"
      TIMEOUT 300)
endfunction()
