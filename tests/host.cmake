# The quorvanta program: what it makes of audio and frames, the hosted
# visual, the program run on good and broken input, and its window
# sessions. The tests in host/ share host/host_test_support.h; those that run
# the program load a spy bundle that logs every message it gets.
if(TARGET qvhost)
  # Stand-in bundles: one that logs and draws its input, one that is no plug-in.
  add_library(qv_spy_bundle MODULE host/spy_bundle.cpp)
  target_include_directories(qv_spy_bundle PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(qv_spy_bundle PRIVATE qvplatform OpenGL::GL)
  add_library(qv_no_entry_bundle MODULE host/no_entry_bundle.cpp)
  set_target_properties(qv_spy_bundle qv_no_entry_bundle PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/host BUILD_RPATH "${CMAKE_BINARY_DIR}/lib")

  find_package(X11 REQUIRED) # the session test reads the window's pixels back from the X server
  qv_add_test(host_analysis_tests SOURCES host/analysis_test.cpp LIBS qvhost)
  # The services are called through the glue the bundle calls them with.
  qv_add_test(host_visual_tests
    SOURCES host/visual_test.cpp ${PROJECT_SOURCE_DIR}/plugin/host_glue.cpp ${PROJECT_SOURCE_DIR}/plugin/memory_routines.cpp
    LIBS qvhost)
  qv_add_test(host_program_tests SOURCES host/program_test.cpp host/broken_audio_test.cpp support/image_io.cpp LIBS qvhost)
  target_compile_definitions(host_program_tests PRIVATE QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/host-output")
  qv_add_test(host_session_tests SOURCES host/session_test.cpp LIBS qvhost X11::X11)
  foreach(t host_analysis_tests host_visual_tests host_program_tests host_session_tests)
    target_compile_definitions(${t} PRIVATE
      QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
      QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>" QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>")
    add_dependencies(${t} quorvanta_program qv_spy_bundle qv_no_entry_bundle)
  endforeach()
endif()
