# Hostile message sequences against the bundle on a real headless GL context
# (see messages/messages_fuzz.cpp). The bundle is loaded with dlopen, as a
# host does; the program defines the GL entry points the bundle imports
# (tests/hardening/gl_guard.cpp) and exports them, so that every GL call of
# the bundle is checked for its context before it reaches libGL.
#
# Every execution makes real contexts and textures, so the test run does
# fewer of them than the other targets. Standard output is closed: the
# viewport's AGL failure lines would flood the log.
find_package(GTest REQUIRED)
pkg_check_modules(QV_FUZZ_GLU REQUIRED IMPORTED_TARGET glu)
# The bundle's message paths report their coverage to libFuzzer, which
# steers the sequences into them (the objects are used only by the bundle).
foreach(part qv_plugin qv_render qv_figures)
  target_compile_options(${part} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()

set(QV_MESSAGES_FUZZ_RUNS 1500 CACHE STRING "Executions of messages_fuzz in the test run")

qv_add_fuzzer(messages_fuzz
  SOURCES messages/messages_fuzz.cpp
          ${PROJECT_SOURCE_DIR}/tests/hardening/gl_guard.cpp
          ${PROJECT_SOURCE_DIR}/tests/support/test_host.cpp
  LIBS qvplatform OpenGL::GL OpenGL::EGL PkgConfig::QV_FUZZ_GLU GTest::gtest ${CMAKE_DL_LIBS}
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/messages
  ARGS -runs=${QV_MESSAGES_FUZZ_RUNS} -max_len=512 -close_fd_mask=1)
target_include_directories(messages_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(messages_fuzz PRIVATE QV_BUNDLE_PATH="$<TARGET_FILE:quorvanta>")
set_target_properties(messages_fuzz PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(messages_fuzz quorvanta)
# Leaks inside the GL stack are not ours (tests/lsan.supp lists them).
set_tests_properties(messages_fuzz PROPERTIES
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  TIMEOUT 600)
