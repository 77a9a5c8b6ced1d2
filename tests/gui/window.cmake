# The installer's face: window, dialog sheets, menus, application start, localized controls.
tq_add_test(test_window LABEL gui GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/window/WindowTestSupport.cpp
            ${CMAKE_CURRENT_LIST_DIR}/window/WindowTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/window/DialogTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/window/AppDelegateTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/window/ControlLocalizationTest.cpp)
target_include_directories(test_window PRIVATE ${CMAKE_CURRENT_LIST_DIR}/window)
# Test-only tables: a translation whose licence pattern lacks a placeholder (fr) and one whose
# link word occurs twice (de).
set(tq_window_test_tables ${CMAKE_CURRENT_LIST_DIR}/window/Localizable_fr.ts
                          ${CMAKE_CURRENT_LIST_DIR}/window/Localizable_de.ts)
set_source_files_properties(${tq_window_test_tables} PROPERTIES
    OUTPUT_LOCATION "${CMAKE_CURRENT_BINARY_DIR}/window-tables")
qt_add_lrelease(test_window TS_FILES ${tq_window_test_tables} NO_GLOBAL_TARGET OPTIONS -silent)
target_compile_definitions(test_window PRIVATE
    TQ_WINDOW_TEST_TABLES="${CMAKE_CURRENT_BINARY_DIR}/window-tables")
add_dependencies(test_window installer)

# The real installer bundle under Xvfb: a screenshot of its window, the Install button's colour.
add_test(NAME WindowScreenshotTest
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/window/screenshot-test
                 "${TQ_BUNDLE_DIR}" "${CMAKE_BINARY_DIR}/window-screenshot.png")
set_tests_properties(WindowScreenshotTest PROPERTIES LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 120)
