# tq_unzip_bench runs one extraction and prints its figures; bench/zip-bench builds a
# bundle-like archive with tq_zip_bundle_archive and compares with unzip and bsdtar.
add_executable(tq_unzip_bench ${CMAKE_CURRENT_LIST_DIR}/zip/unzip_bench.cpp)
target_link_libraries(tq_unzip_bench PRIVATE tqinstaller_core)

add_executable(tq_zip_bundle_archive ${CMAKE_CURRENT_LIST_DIR}/zip/zip_bundle_archive.cpp)
target_link_libraries(tq_zip_bundle_archive PRIVATE tq_zip_builder)
