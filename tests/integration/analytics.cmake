tq_add_test(test_analytics_collector LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/../unit/analytics/RecordingHitTransport.cpp
            ${CMAKE_CURRENT_LIST_DIR}/analytics/CollectorTest.cpp
    LIBRARIES tq_https_server)
target_include_directories(test_analytics_collector PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/../unit/analytics)
