# tolvan_ui: the updater's Qt windows (main window, confirmation dialog); Tolvan: the program.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Test)

add_library(tolvan_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/cfm_dsp.cc
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cc
  ${CMAKE_CURRENT_LIST_DIR}/qt_support.cc)
set_target_properties(tolvan_ui PROPERTIES AUTOMOC ON)
target_link_libraries(tolvan_ui PUBLIC tolvan_core Qt6::Widgets)

add_executable(Tolvan ${CMAKE_CURRENT_LIST_DIR}/main.cc)
target_link_libraries(Tolvan PRIVATE tolvan_ui ${CMAKE_DL_LIBS})

# GoogleTest cases inside a QApplication on the offscreen platform (qt_test_main.cc).
set(TOLVAN_QT_TEST_MAIN ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cc CACHE INTERNAL "")
project_test(tolvan_cfm_dsp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfm_dsp_test.cc ${TOLVAN_QT_TEST_MAIN}
  LIBS tolvan_ui Qt6::Test)
