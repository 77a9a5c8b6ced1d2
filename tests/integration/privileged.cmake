tq_add_test(test_privileged_pkexec LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/privileged/PkexecTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/privileged/SystemBus.cpp
            ${CMAKE_CURRENT_LIST_DIR}/privileged/SystemBus.h)
