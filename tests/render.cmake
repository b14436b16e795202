# The renderer's arithmetic (motion, background, viewport, camera) through the
# GL recorder, here and in a cross build.
qv_add_bundle_test(render_arithmetic_tests LINKED SOURCES render/arithmetic_test.cpp)
if(CMAKE_CROSSCOMPILING)
  return()
endif()
# The bundle drawing real frames through its handler, and the platform's swap
# under them (headless GL: llvmpipe where there is no GPU). A failing image
# test leaves its images in render-output (QV_RENDER_OUTPUT_DIR overrides).
find_package(PNG REQUIRED)
qv_add_bundle_test(render_tests SOURCES render/frame_test.cpp support/image_io.cpp support/alloc_counter.cpp
  LIBS PNG::PNG)
target_compile_definitions(render_tests PRIVATE QV_RENDER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/render/golden"
  QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/render-output")
