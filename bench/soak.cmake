# The full-length show/hide soak: 10,000 cycles on one host, heap and GL
# objects reported at cycle 100 and at the end (QV_SOAK_CYCLES overrides the
# count). Shares its cycle and its GL guard with tests/hardening.
find_package(GTest REQUIRED)
find_package(PNG REQUIRED)
qv_add_bench(soak_bench
  SOURCES soak/soak_bench.cpp
          ${PROJECT_SOURCE_DIR}/tests/hardening/soak_cycle.cpp ${PROJECT_SOURCE_DIR}/tests/hardening/heap_meter.cpp
          ${PROJECT_SOURCE_DIR}/tests/hardening/gl_guard.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/test_host.cpp ${PROJECT_SOURCE_DIR}/tests/support/image_io.cpp
  LIBS qvplatform OpenGL::GL OpenGL::EGL PkgConfig::GLU PNG::PNG GTest::gtest ${CMAKE_DL_LIBS})
target_include_directories(soak_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(soak_bench PRIVATE QV_BUNDLE_PATH="$<TARGET_FILE:quorvanta>"
  QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/soak-output")
# The bundle's GL calls must bind to the guard's definitions.
set_target_properties(soak_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(soak_bench quorvanta)
