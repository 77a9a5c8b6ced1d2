# Start-up time of the installer window: from process start to the window on screen (X11).
find_package(X11)
if(X11_FOUND)
    add_executable(tq_window_startup_bench ${CMAKE_CURRENT_LIST_DIR}/window/WindowStartupBench.cpp)
    target_link_libraries(tq_window_startup_bench PRIVATE X11::X11)
endif()
