tq_add_test(test_pipeline LABEL integration GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipeline/PipelineFixture.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pipeline/WorkspaceTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pipeline/InstallLaunchTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pipeline/UnarchiveTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pipeline/DevServerTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/pipeline/FlowTest.cpp
    LIBRARIES tq_https_server)
target_compile_definitions(test_pipeline PRIVATE
    TQ_SCRIBORA_APP="${CMAKE_BINARY_DIR}/examples/Scribora.app")
add_dependencies(test_pipeline scribora_packages devserver installer hdiutil)
