# tq_dmg_bench IMAGE DEST: one TQDMGUnarchiver::unarchiveFile run with its figures.
add_executable(tq_dmg_bench ${CMAKE_CURRENT_LIST_DIR}/dmg/dmg_bench.cpp)
target_link_libraries(tq_dmg_bench PRIVATE tqinstaller_core)
target_compile_definitions(tq_dmg_bench PRIVATE TQ_BUNDLE_DIR="${TQ_BUNDLE_DIR}")
add_dependencies(tq_dmg_bench hdiutil)
