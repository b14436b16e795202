# Rendering: window ports, AGL over EGL and the clock (platform), the pixels
# of figures, and the bundle driven through its handler with real frames
# (headless GL: llvmpipe where there is no GPU).
find_package(PNG REQUIRED)

set(QV_RENDER_SESSION render/render_session.cpp support/image_io.cpp support/test_host.cpp)
set(QV_RENDER_TEST_LIBS qvplatform OpenGL::GL PNG::PNG ${CMAKE_DL_LIBS})

function(qv_render_test name)
  qv_add_test(${name} ${ARGN})
  # Failing image tests leave their actual and difference images in the
  # build tree (QV_RENDER_OUTPUT_DIR overrides).
  target_compile_definitions(${name} PRIVATE
    QV_RENDER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/render/golden"
    QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/render-output")
  add_dependencies(${name} quorvanta)
endfunction()

# The bundle through its handler, frames read back from the port.
qv_render_test(render_bundle_tests
  SOURCES render/show_frame_test.cpp render/context_failure_test.cpp render/scene_scale_test.cpp
          render/motion_test.cpp
          render/golden_frame_test.cpp ${QV_RENDER_SESSION}
  LIBS ${QV_RENDER_TEST_LIBS})

# The platform layer on its own: ports, clock, AGL over EGL.
qv_render_test(render_platform_tests
  SOURCES render/port_clock_test.cpp render/agl_test.cpp support/image_io.cpp
  LIBS ${QV_RENDER_TEST_LIBS})

# Figures drawn with real GL: strips, depth order, the editor's overlay.
qv_render_test(render_figure_tests
  SOURCES render/figure_pixels_test.cpp support/image_io.cpp
  LIBS qv_figures ${QV_RENDER_TEST_LIBS})

# Allocation seen through an allocator put in front of the C and C++ ones:
# the program exports its operator new (and, outside AddressSanitizer, malloc)
# so that the bundle and the platform library call them.
qv_render_test(render_alloc_tests
  SOURCES render/allocation_test.cpp ${QV_RENDER_SESSION}
  LIBS ${QV_RENDER_TEST_LIBS})
target_include_directories(render_alloc_tests PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(render_alloc_tests PROPERTIES ENABLE_EXPORTS ON)
