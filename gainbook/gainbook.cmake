# The response editor itself: its window logic (plain C++, tested without a display),
# the Qt layer that binds the controls to it, and the program.
add_library(gainbook_app STATIC
  app/archivecheckdialog.cpp
  app/commandline.cpp
  app/connectiondialog.cpp
  app/dateeditordialog.cpp
  app/datasources.cpp
  app/fileformatdialog.cpp
  app/historyactions.cpp
  app/mainwindow.cpp
  app/panels.cpp
  app/responsecurvedialog.cpp
  app/settings.cpp
  app/stationxmlaction.cpp)
target_include_directories(gainbook_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/app)
target_link_libraries(gainbook_app PUBLIC gainbook_db gainbook_response gainbook_stationxml
  gainbook_check orv_common PRIVATE ${ODBCINST_LIBRARY})
orv_warnings(gainbook_app)

add_library(gainbook_qt STATIC
  qt/widgets.cpp
  qt/archivecheckdialogqt.cpp
  qt/connectiondialogqt.cpp
  qt/dateeditordialogqt.cpp
  qt/datasourceeditorqt.cpp
  qt/mainwindowqt.cpp
  qt/savesettingsqt.cpp
  qt/fileformatdialogqt.cpp
  qt/intervalchoicedialogqt.cpp
  qt/responsecurvedialogqt.cpp
  qt/responsepreviewqt.cpp)
target_include_directories(gainbook_qt PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/qt)
target_link_libraries(gainbook_qt PUBLIC gainbook_app gainbook_plot orv_common_qt Qt6::Widgets
  Qt6::PrintSupport)
set_target_properties(gainbook_qt PROPERTIES AUTOMOC ON)
orv_warnings(gainbook_qt)

add_executable(gainbook main.cpp)
target_link_libraries(gainbook PRIVATE gainbook_qt)
orv_warnings(gainbook)

orv_test(gainbook_app_tests
  SOURCES tests/commandline_test.cpp tests/settings_test.cpp tests/mainwindow_test.cpp
          tests/connectiondialog_test.cpp tests/datasources_test.cpp
          tests/mainwindowroad_test.cpp tests/responsecurvedialog_test.cpp
          tests/historyactions_test.cpp tests/archivecheckdialog_test.cpp
  LIBS gainbook_app orv_test_support)
orv_test(gainbook_qt_tests
  SOURCES tests/mainwindowqt_test.cpp
  LIBS gainbook_qt orv_test_support Qt6::Test)
foreach(t gainbook_app_tests gainbook_qt_tests)
  target_compile_definitions(${t} PRIVATE
    GAINBOOK_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/formats/tests/data")
endforeach()
# The command-line test runs the program itself.
target_compile_definitions(gainbook_app_tests PRIVATE GAINBOOK_PROGRAM="$<TARGET_FILE:gainbook>")
add_dependencies(gainbook_app_tests gainbook)
