# Rendering: time per frame at 1280 x 720, "vrnd" to pixels in the port.
qv_add_bench(render_frame_bench
  SOURCES render/frame_bench.cpp
  LIBS qvplatform ${CMAKE_DL_LIBS})
target_compile_definitions(render_frame_bench PRIVATE QV_BUNDLE_PATH="$<TARGET_FILE:quorvanta>")
add_dependencies(render_frame_bench quorvanta)
