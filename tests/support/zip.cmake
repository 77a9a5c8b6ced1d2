# ZIP archives for tests, fuzz seeds and benchmarks, written with minizip's zip interface.
add_library(tq_zip_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/zip/ZipBuilder.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/zip/ZipBuilder.h)
target_include_directories(tq_zip_builder PUBLIC ${CMAKE_CURRENT_LIST_DIR}/zip)
target_link_libraries(tq_zip_builder PUBLIC Qt6::Core PkgConfig::MINIZIP PkgConfig::ZLIB)
