# The installer under Xvfb, clicked with xdotool, against the devserver.
add_test(NAME PipelineXvfb.InstallsAndLaunchesScriboraWithAClick
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(PipelineXvfb.InstallsAndLaunchesScriboraWithAClick PROPERTIES
                     LABELS gui TIMEOUT 180 RESOURCE_LOCK xvfb)
# The installer quit mid-download: status 0, no sanitizer report, nothing half-made.
add_test(NAME PipelineXvfb.QuittingMidDownloadEndsCleanly
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/xvfb_quit.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(PipelineXvfb.QuittingMidDownloadEndsCleanly PROPERTIES
                     LABELS gui TIMEOUT 180 RESOURCE_LOCK xvfb)
# The same under weston's headless backend with Qt's Wayland platform.
add_test(NAME PipelineWayland.InstallsAndLaunchesScribora
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/pipeline/wayland_install.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_BINARY_DIR})
set_tests_properties(PipelineWayland.InstallsAndLaunchesScribora PROPERTIES
                     LABELS gui TIMEOUT 180 SKIP_RETURN_CODE 77)
