# The quorvanta program: its analysis, decoding, host services, message
# order, rendering, command line, window and live capture. Tests that run
# the program use a spy bundle that logs every message it gets.
if(TARGET qvhost)
  # Stand-in bundles: one that logs and draws its input, one that is no plug-in.
  add_library(qv_spy_bundle MODULE host/spy_bundle.cpp)
  target_include_directories(qv_spy_bundle PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(qv_spy_bundle PRIVATE qvplatform OpenGL::GL)
  set_target_properties(qv_spy_bundle PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host BUILD_RPATH "${CMAKE_BINARY_DIR}/lib")
  add_library(qv_no_entry_bundle MODULE host/no_entry_bundle.cpp)
  set_target_properties(qv_no_entry_bundle PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host)

  add_library(qvhost_test_support STATIC host/host_test_support.cpp)
  target_link_libraries(qvhost_test_support PUBLIC qvhost)
  target_compile_definitions(qvhost_test_support PRIVATE
    QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>"
    QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
    QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>"
    QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>")

  qv_add_test(host_analysis_tests
    SOURCES host/spectrum_test.cpp host/decode_test.cpp host/yuv_test.cpp host/progress_test.cpp
    LIBS qvhost_test_support)
  qv_add_test(host_plugin_tests
    SOURCES host/host_services_test.cpp host/visual_host_test.cpp
    LIBS qvhost_test_support)

  qv_add_test(host_program_tests
    SOURCES host/render_test.cpp host/cli_test.cpp
    LIBS qvhost_test_support)

  # The window test reads the window's pixels back from the X server.
  find_package(X11 REQUIRED)
  qv_add_test(host_window_tests SOURCES host/window_test.cpp host/x11_pixel.cpp LIBS qvhost_test_support X11::X11)

  qv_add_test(host_live_tests SOURCES host/live_test.cpp LIBS qvhost_test_support)

  foreach(t host_analysis_tests host_plugin_tests host_program_tests host_window_tests host_live_tests)
    add_dependencies(${t} quorvanta_program qv_spy_bundle qv_no_entry_bundle)
  endforeach()
endif()
