# Disk images for tests and the sample product: UDIF around HFS+ or ISO volumes.
add_library(tq_udif_writer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/udif/VolumeSource.cpp
    ${CMAKE_CURRENT_LIST_DIR}/udif/HfsPlusVolume.cpp
    ${CMAKE_CURRENT_LIST_DIR}/udif/UdifWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/udif/IsoImage.cpp)
target_include_directories(tq_udif_writer PUBLIC ${CMAKE_CURRENT_LIST_DIR}/udif)
target_link_libraries(tq_udif_writer PUBLIC Qt6::Core PkgConfig::ZLIB)

# tq_pack_dmg [--raw] [--iso] [--volume-name NAME] FOLDER OUTPUT.dmg
add_executable(tq_pack_dmg ${CMAKE_CURRENT_LIST_DIR}/udif/pack_dmg.cpp)
target_link_libraries(tq_pack_dmg PRIVATE tq_udif_writer)
