add_executable(tq_analytics_exit_run ${CMAKE_CURRENT_LIST_DIR}/analytics/ExitFlushMain.cpp)
target_link_libraries(tq_analytics_exit_run PRIVATE tqinstaller_core)

tq_add_test(test_analytics_collector LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/analytics/CollectorTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/analytics/ExitFlushTest.cpp
            ${CMAKE_SOURCE_DIR}/tools/devserver/DevServer.cpp
            ${CMAKE_SOURCE_DIR}/tools/devserver/Collector.cpp
    LIBRARIES tq_https_server)
target_include_directories(test_analytics_collector PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/../unit/analytics ${CMAKE_SOURCE_DIR}/tools/devserver)
target_compile_definitions(test_analytics_collector PRIVATE
    TQ_ANALYTICS_EXIT_RUN="$<TARGET_FILE:tq_analytics_exit_run>")
add_dependencies(test_analytics_collector tq_analytics_exit_run)
