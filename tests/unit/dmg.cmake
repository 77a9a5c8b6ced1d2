tq_add_test(test_dmg_platform LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dmg/ProcessTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/dmg/FileManagerTest.cpp)
