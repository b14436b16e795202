# Hostile message sequences against the bundle on a real headless GL context,
# through the tests' host and its GL guard (exported, so that the bundle's GL
# calls bind to it). Every execution makes contexts and textures: fewer runs;
# standard output is closed (the viewport's AGL failure lines).
foreach(part qv_plugin qv_render qv_figures) # their coverage steers the sequences
  target_compile_options(${part} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()
set(QV_MESSAGES_FUZZ_RUNS 1500 CACHE STRING "Executions of messages_fuzz in the test run")
qv_add_fuzzer(messages_fuzz SOURCES messages/messages_fuzz.cpp ${PROJECT_SOURCE_DIR}/tests/support/test_host.cpp
  LIBS qvplatform OpenGL::GL OpenGL::EGL ${CMAKE_DL_LIBS} CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/messages
  ARGS -runs=${QV_MESSAGES_FUZZ_RUNS} -max_len=512 -close_fd_mask=1)
target_include_directories(messages_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(messages_fuzz PRIVATE QV_BUNDLE_PATH="$<TARGET_FILE:quorvanta>")
set_target_properties(messages_fuzz PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(messages_fuzz quorvanta)
set_tests_properties(messages_fuzz PROPERTIES TIMEOUT 600 # leaks inside the GL stack are not ours:
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
