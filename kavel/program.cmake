# Kavel's run flow, its seven templates, its windows and the program itself.
#   kavel_core  run flow, templates, run without a display (no Qt)
#   kavel_ui    the Qt main window, message boxes, progress and preview (BUILD_GUI only)
#   kavel_window  <build>/kavel/kavel_window.so, kavel_ui as a module Kavel loads with a display
#   Kavel       the program, written to <build>/kavel/Kavel

# Stands on the row sources of rowsource.cmake.
if(NOT TARGET kavel_db)
  message(FATAL_ERROR "kavel_db (the row sources of kavel/rowsource.cmake) is missing")
endif()

add_library(kavel_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/run_flow.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/console_ui.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/display_probe.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/templates/check_result_lists.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/templates/patient_list.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/templates/grouped_check_lists.cc
)
target_include_directories(kavel_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kavel_core PUBLIC kavel_db reportengine common)
# The templates are designated initialisers that name only what differs from the defaults.
target_compile_options(kavel_core PRIVATE -Wno-missing-field-initializers)

add_executable(Kavel ${CMAKE_CURRENT_SOURCE_DIR}/main.cc)
target_link_libraries(Kavel PRIVATE kavel_core ${CMAKE_DL_LIBS})

if(BUILD_GUI)
  # The windows live in a module that Kavel loads only when there is a display, so that runs
  # without one never pay for loading Qt. The module holds the windows alone: the run flow, the
  # row sources, the engine and common are the program's, whole and exported to the module, so
  # there is one copy of each and of their globals. Everything in the module is position-independent.
  find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
  set_target_properties(Kavel PROPERTIES ENABLE_EXPORTS ON)
  set(whole)
  foreach(part kavel_core kavel_db kavel_mdb_file reportengine_text reportengine_model reportengine_layout
          reportengine_pdf common)
    string(APPEND whole " $<TARGET_FILE:${part}>")
  endforeach()
  target_link_options(Kavel PRIVATE "SHELL:-Wl,--whole-archive${whole} -Wl,--no-whole-archive")
  set_property(TARGET reportengine_qt PROPERTY POSITION_INDEPENDENT_CODE ON)
  add_library(kavel_ui STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/main_window.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/main_window.h
    ${CMAKE_CURRENT_SOURCE_DIR}/qt_run_ui.cc
  )
  set_target_properties(kavel_ui PROPERTIES AUTOMOC ON POSITION_INDEPENDENT_CODE ON)
  target_link_libraries(kavel_ui PUBLIC reportengine_qt Qt6::Widgets)
  project_compile_against(kavel_ui kavel_core)

  add_library(kavel_window MODULE ${CMAKE_CURRENT_SOURCE_DIR}/window_module.cc)
  set_target_properties(kavel_window PROPERTIES PREFIX "" OUTPUT_NAME kavel_window SUFFIX ".so"
                        CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(kavel_window PRIVATE kavel_ui)
  add_dependencies(Kavel kavel_window)

  project_test(kavel_ui_test
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/main_window_test.cc
    LIBS kavel_ui kavel_core)
endif()

project_test(kavel_run_flow_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/run_flow_test.cc
  LIBS kavel_core jetwriter)
project_test(kavel_console_ui_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/console_ui_test.cc
  LIBS kavel_core)
