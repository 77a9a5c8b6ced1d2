# The scripted HTTPS server every network test (and the demo server) builds on.
if(NOT TARGET PkgConfig::HTTPLIB)
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
find_package(OpenSSL REQUIRED)
add_library(tq_https_server STATIC
    ${CMAKE_CURRENT_LIST_DIR}/../support/https/HttpsTestServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../support/https/HttpsTestServer.h)
target_include_directories(tq_https_server PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../support/https)
target_link_libraries(tq_https_server PUBLIC Qt6::Core PkgConfig::HTTPLIB OpenSSL::SSL)

tq_add_test(test_downloader LABEL integration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/downloader/HttpsTestServerTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/downloader/TQDownloaderTest.cpp
    LIBRARIES tq_https_server)
