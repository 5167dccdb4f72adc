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

# project_include_root(<target> <folder>...)
# Lets <target> and whatever links it include "<folder>/<file>" and nothing else of the tree. Each
# folder gets a root of its own in the build tree holding a link to it, so an include of a folder
# a target does not link fails to compile instead of holding by convention only.
function(project_include_root target)
  foreach(folder ${ARGN})
    string(REPLACE "/" "_" name ${folder})
    set(root ${PROJECT_BINARY_DIR}/include_roots/${name})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      target_include_directories(${target} INTERFACE ${root})
    else()
      target_include_directories(${target} PUBLIC ${root})
    endif()
  endforeach()
endfunction()

# add_pe_fixture(<exe> RC <file.rc> | NO_RESOURCES  BITS <32|64>)
# A Windows program file made by a real resource compiler and linker (binutils-mingw-w64): an
# empty object, plus the compiled resource script when there is one. Appends <exe> to the list
# PE_FIXTURES of the caller.
function(add_pe_fixture exe)
  cmake_parse_arguments(PE "NO_RESOURCES" "RC;BITS" "" ${ARGN})
  if(PE_BITS STREQUAL "32")
    set(prefix i686-w64-mingw32)
  else()
    set(prefix x86_64-w64-mingw32)
  endif()
  foreach(tool windres as ld)
    string(TOUPPER "MINGW_${PE_BITS}_${tool}" variable)
    find_program(${variable} ${prefix}-${tool} REQUIRED)
    set(${tool} ${${variable}})
  endforeach()
  find_program(PE_HOST_CPP cpp REQUIRED)
  get_filename_component(folder ${exe} DIRECTORY)
  set(objects ${exe}.empty.o)
  set(resource_commands)
  if(NOT PE_NO_RESOURCES)
    set(resource_commands COMMAND ${windres} --preprocessor=${PE_HOST_CPP} -i ${PE_RC} -O coff -o ${exe}.res.o)
    list(APPEND objects ${exe}.res.o)
  endif()
  get_filename_component(name ${exe} NAME)
  add_custom_command(OUTPUT ${exe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    ${resource_commands}
    COMMAND ${as} /dev/null -o ${exe}.empty.o
    COMMAND ${ld} -o ${exe} ${objects}
    DEPENDS ${PE_RC}
    COMMENT "Linking Windows test program ${name}"
    VERBATIM)
  set(PE_FIXTURES ${PE_FIXTURES} ${exe} PARENT_SCOPE)
endfunction()

# project_compile_against(<target> <library>)
# <target> and whatever links it compile with <library>'s headers, definitions and options but
# do not link it: for code that runs inside a module whose loading program holds <library>.
function(project_compile_against target library)
  target_include_directories(${target} PUBLIC
    $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target} PUBLIC
    $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>)
  target_compile_options(${target} PUBLIC
    $<TARGET_PROPERTY:${library},INTERFACE_COMPILE_OPTIONS>)
endfunction()
