tq_add_test(test_foundation LABEL unit GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/foundation/LinksTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/foundation/UniqueNamesTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/foundation/VersionCompareTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/foundation/InstalledCheckTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/foundation/LocalizationTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/foundation/PlatformTest.cpp)
add_dependencies(test_foundation installer)
