# The end-to-end tests run longest; their COST starts them first when ctest has no timings yet.
# The installer under Xvfb, pressed with the keyboard through xdotool, against the devserver;
# each demo takes a free display of its own, so they run side by side.
add_test(NAME PipelineXvfb.InstallsAndLaunchesScriboraWithAClick
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR} install)
add_test(NAME PipelineXvfb.TheErrorDialogIsAnsweredWithEscape
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR} tour)
# The installer quit mid-download: status 0, no sanitizer report, nothing half-made.
add_test(NAME PipelineXvfb.QuittingMidDownloadEndsCleanly
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_quit.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(PipelineXvfb.InstallsAndLaunchesScriboraWithAClick
                     PipelineXvfb.TheErrorDialogIsAnsweredWithEscape
                     PipelineXvfb.QuittingMidDownloadEndsCleanly
                     PROPERTIES LABELS gui TIMEOUT 180 COST 30)
# The one-file installer for users (tools/package-installer); a sanitizer build is not shipped.
if(NOT TQ_SANITIZE)
    add_test(NAME PipelineXvfb.OneFileInstallerCarriesItsLibrariesAndStarts
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_runfile.sh ${CMAKE_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR})
    set_tests_properties(PipelineXvfb.OneFileInstallerCarriesItsLibrariesAndStarts PROPERTIES
                         LABELS gui TIMEOUT 600 COST 40)
endif()
# The same under weston's headless backend with Qt's Wayland platform.
add_test(NAME PipelineWayland.InstallsAndLaunchesScribora
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/wayland_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(PipelineWayland.InstallsAndLaunchesScribora PROPERTIES
                     LABELS gui TIMEOUT 180 SKIP_RETURN_CODE 77 COST 30)
# Under a sanitizer the installer is several times slower: one desktop test at a time.
if(TQ_SANITIZE)
    set_tests_properties(PipelineXvfb.InstallsAndLaunchesScriboraWithAClick
                         PipelineXvfb.TheErrorDialogIsAnsweredWithEscape
                         PipelineXvfb.QuittingMidDownloadEndsCleanly
                         PipelineWayland.InstallsAndLaunchesScribora
                         PROPERTIES RESOURCE_LOCK desktop)
endif()
