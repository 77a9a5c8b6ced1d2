tq_add_test(test_downloader LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/downloader/TQDownloaderTest.cpp
    LIBRARIES tq_https_server)
