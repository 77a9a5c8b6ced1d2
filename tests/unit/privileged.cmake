# The pkexec stand-in, for every area whose tests run a privileged task.
add_library(tq_test_privileged STATIC
    ${CMAKE_CURRENT_LIST_DIR}/../support/privileged/ElevationStandIn.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/privileged/ElevationStandIn.h)
target_include_directories(tq_test_privileged PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../support/privileged)
target_link_libraries(tq_test_privileged PUBLIC tq_test_support)

tq_add_test(test_privileged LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/privileged/RXPrivilegedTaskTest.cpp
    LIBRARIES tq_test_privileged)
