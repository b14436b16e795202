# The VLC module through libvlc (tests/vlc/module_test.cpp says what); the
# program shares the platform library with the module, for the AGL failures.
if(TARGET quorvanta_vlc)
  pkg_check_modules(QVVLC_TEST REQUIRED IMPORTED_TARGET libvlc)
  qv_add_test(vlc_module_tests SOURCES vlc/module_test.cpp support/image_io.cpp LIBS qvhost PkgConfig::QVVLC_TEST)
  target_compile_definitions(vlc_module_tests PRIVATE
    QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
    QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>" QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>"
    QV_TEST_VLC_PLUGIN_PATH="$<TARGET_FILE_DIR:quorvanta_vlc>" QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/vlc-output")
  add_dependencies(vlc_module_tests quorvanta_vlc quorvanta_program qv_spy_bundle qv_no_entry_bundle)
  # VLC lists it: the plug-in cache VLC makes of it (the uninstrumented
  # vlc-cache-gen cannot load a sanitized module).
  add_test(NAME vlc_cache_lists_the_module COMMAND sh -c [[d=$(mktemp -d) && cp "$1" "$d" && "$2" "$d" &&
    strings "$d/plugins.dat" | tr '\n' ' '; rm -rf "$d"]] sh $<TARGET_FILE:quorvanta_vlc> ${QV_VLC_CACHE_GEN})
  set_tests_properties(vlc_cache_lists_the_module PROPERTIES LABELS no-sanitizer
    PASS_REGULAR_EXPRESSION "Quorvanta music visual quorvanta quorvanta Open Close visualization quorvanta-width")
endif()
