tq_add_test(test_dmg LABEL integration APART
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dmg/DiskImages.cpp
            ${CMAKE_CURRENT_LIST_DIR}/dmg/DiskImageToolTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/dmg/DMGUnarchiverTest.cpp
    LIBRARIES tq_udif_writer)
add_dependencies(test_dmg hdiutil)
