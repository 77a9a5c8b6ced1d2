# ZIP extraction: seed corpus writer, and the libFuzzer target when the compiler is clang.
# The seeds and any saved findings in zip/corpus replay as a unit test in every build.
# A fuzz run:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTQ_SANITIZE=asan
#   cmake --build build-fuzz --target tq_zip_fuzzer tq_zip_fuzz_seeds
#   build-fuzz/fuzz/tq_zip_fuzz_seeds /tmp/zip-corpus
#   build-fuzz/fuzz/tq_zip_fuzzer -max_total_time=1800 /tmp/zip-corpus
add_library(tq_zip_fuzz_check STATIC ${CMAKE_CURRENT_LIST_DIR}/zip/ZipFuzzCheck.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/zip/ZipSeeds.cpp)
target_include_directories(tq_zip_fuzz_check PUBLIC ${CMAKE_CURRENT_LIST_DIR}/zip)
target_link_libraries(tq_zip_fuzz_check PUBLIC tqinstaller_core tq_zip_builder)

add_executable(tq_zip_fuzz_seeds ${CMAKE_CURRENT_LIST_DIR}/zip/zip_seeds_main.cpp)
target_link_libraries(tq_zip_fuzz_seeds PRIVATE tq_zip_fuzz_check)

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # The extractor's sources are compiled in so libFuzzer sees their coverage.
    file(GLOB tq_zip_fuzz_sources CONFIGURE_DEPENDS
         ${CMAKE_SOURCE_DIR}/src/Unarchiving/TQZip*.cpp)
    add_executable(tq_zip_fuzzer ${CMAKE_CURRENT_LIST_DIR}/zip/zip_fuzzer.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/zip/ZipFuzzCheck.cpp
                                 ${tq_zip_fuzz_sources})
    target_include_directories(tq_zip_fuzzer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/zip)
    target_compile_options(tq_zip_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(tq_zip_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(tq_zip_fuzzer PRIVATE tqinstaller_core)
endif()
