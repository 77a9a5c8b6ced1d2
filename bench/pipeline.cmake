# cmake --build build --target bench_pipeline: the click-to-launch benchmark against nginx and
# the shell pipeline, median of 5 interleaved runs (prints figures).
add_custom_target(bench_pipeline
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/bench_install.sh ${CMAKE_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}
    DEPENDS installer devserver scribora_packages tq_pack_zip package-sign
    USES_TERMINAL)
