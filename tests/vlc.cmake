# The VLC module through libvlc, headless and as root (the vlc program
# refuses root; libvlc does not): listed, its frames against the program's,
# bad input, and repeated opens and closes. The test program finds the built
# module through VLC_PLUGIN_PATH, and shares the platform library with it
# (for the AGL failures it injects).
if(TARGET quorvanta_vlc)
  pkg_check_modules(QVVLC_TEST REQUIRED IMPORTED_TARGET libvlc)
  qv_add_test(vlc_module_tests SOURCES vlc/module_test.cpp support/image_io.cpp LIBS qvhost PkgConfig::QVVLC_TEST)
  target_compile_definitions(vlc_module_tests PRIVATE
    QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
    QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>" QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>"
    QV_TEST_VLC_MODULE="$<TARGET_FILE:quorvanta_vlc>" QV_TEST_VLC_PLUGIN_PATH="$<TARGET_FILE_DIR:quorvanta_vlc>"
    QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/vlc-output")
  add_dependencies(vlc_module_tests quorvanta_vlc quorvanta_program qv_spy_bundle qv_no_entry_bundle)
endif()
