# The Kodi add-on: driven through Kodi's add-on tables (its frames against
# the program's, Kodi's GL state, bad input), and shown by the real Kodi,
# headless. The test program loads the add-on library its addon.xml names
# from the build tree.
if(TARGET visualization.quorvanta)
  qv_add_test(kodi_addon_tests SOURCES kodi/addon_test.cpp support/image_io.cpp LIBS qvhost OpenGL::EGL)
  target_compile_definitions(kodi_addon_tests PRIVATE
    QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
    QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>" QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>"
    QV_TEST_ADDON_XML="${CMAKE_BINARY_DIR}/kodi/visualization.quorvanta/addon.xml"
    QV_TEST_ADDON_DIR="$<TARGET_FILE_DIR:visualization.quorvanta>"
    QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/kodi-output")
  add_dependencies(kodi_addon_tests visualization.quorvanta quorvanta_program qv_spy_bundle qv_no_entry_bundle)
endif()
