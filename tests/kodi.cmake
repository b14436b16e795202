# The Kodi add-on: driven through Kodi's add-on tables (its frames against
# the program's, Kodi's GL state, bad input), and shown by Debian's Kodi,
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

  # Kodi cannot load a sanitized add-on into its uninstrumented self. Debian's
  # python3 carries PIL (python3-pil).
  add_test(NAME kodi_shows_the_visual COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/kodi/kodi_test.py
    --addon-xml ${CMAKE_BINARY_DIR}/kodi/visualization.quorvanta/addon.xml
    --resources ${PROJECT_SOURCE_DIR}/kodi/visualization.quorvanta/resources
    --library $<TARGET_FILE:visualization.quorvanta> --bundle $<TARGET_FILE:quorvanta>
    --program $<TARGET_FILE:quorvanta_program>)
  set_tests_properties(kodi_shows_the_visual PROPERTIES LABELS "no-sanitizer;kodi" TIMEOUT 300)
endif()
