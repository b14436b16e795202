# Rendering: time per frame at 1280 x 720, and the 10,000-cycle show/hide
# soak, on the tests' host; the program exports its GL guard.
qv_add_bench(render_frame_bench SOURCES render/frame_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/test_host.cpp
  LIBS qvplatform OpenGL::GL ${CMAKE_DL_LIBS})
target_include_directories(render_frame_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(render_frame_bench PRIVATE QV_BUNDLE_PATH="$<TARGET_FILE:quorvanta>")
set_target_properties(render_frame_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(render_frame_bench quorvanta)
