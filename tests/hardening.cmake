# Hardening: the bundle against a host that breaks its promises and show/hide
# soak with resource accounting (support/test_host and its GL guard), and the
# program against broken audio files.
qv_add_bundle_test(hardening_tests SOURCES hardening/messages_test.cpp support/alloc_counter.cpp)

# The program against broken and hostile audio files: one clear error or a
# valid video each, within a time limit (the files are made by the test).
if(TARGET qvhost)
  qv_add_test(hardening_audio_tests
    SOURCES hardening/broken_audio_test.cpp
    LIBS qvhost_test_support)
  target_include_directories(hardening_audio_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host)
  add_dependencies(hardening_audio_tests quorvanta_program quorvanta)
endif()
