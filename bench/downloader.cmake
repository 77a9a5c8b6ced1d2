# tq_download_bench URL DIR: one download with TQDownloader, figures on standard output.
add_executable(tq_download_bench ${CMAKE_CURRENT_LIST_DIR}/downloader/DownloadBench.cpp)
target_link_libraries(tq_download_bench PRIVATE tqinstaller_core)

# tq_bench_https_server FILE [DROPS]: serves FILE over HTTPS on 127.0.0.1 for the benchmark,
# breaking the connection DROPS times spread over the file. Built with the tests' server.
add_executable(tq_bench_https_server ${CMAKE_CURRENT_LIST_DIR}/downloader/BenchServer.cpp)
target_link_libraries(tq_bench_https_server PRIVATE tq_https_server)
