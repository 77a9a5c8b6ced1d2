find_package(Qt6 REQUIRED COMPONENTS Network)
tq_add_test(test_installation LABEL integration APART
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/installation/InstallationFixture.cpp
            ${CMAKE_CURRENT_LIST_DIR}/installation/InstallationTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/installation/DesktopTest.cpp
    LIBRARIES tq_https_server tq_zip_builder Qt6::Network)
target_include_directories(test_installation PRIVATE ${CMAKE_CURRENT_LIST_DIR}/installation)
add_dependencies(test_installation scribora_packages devserver installer hdiutil tq_pack_dmg)
