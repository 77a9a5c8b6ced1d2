tq_add_test(test_analytics LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/analytics/HitFormatTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/analytics/ReporterStateTest.cpp)
target_include_directories(test_analytics PRIVATE ${CMAKE_CURRENT_LIST_DIR}/analytics)
