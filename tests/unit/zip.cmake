tq_add_test(test_zip LABEL unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zip/TQZipTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zip/ZipLargeTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/zip/ZipCorpusTest.cpp
    LIBRARIES tq_zip_builder tq_zip_fuzz_check)
