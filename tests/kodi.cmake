# The Kodi add-on: driven through Kodi's add-on tables (the program's frames in "Kodi's" GL
# context, a refused start), and shown by Debian's Kodi, headless; Kodi cannot load a sanitized add-on.
if(TARGET visualization.quorvanta)
  qv_add_test(kodi_addon_tests SOURCES kodi/addon_test.cpp support/image_io.cpp LIBS qvhost OpenGL::EGL)
  target_compile_definitions(kodi_addon_tests PRIVATE QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_SPY_BUNDLE=""
    QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>" QV_TEST_ADDON="$<TARGET_FILE:visualization.quorvanta>" QV_TEST_NO_ENTRY_BUNDLE=""
    QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/kodi-output")
  add_dependencies(kodi_addon_tests visualization.quorvanta quorvanta_program)
  add_test(NAME kodi_shows_the_visual COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/kodi/kodi_test.py
    ${CMAKE_BINARY_DIR}/kodi/visualization.quorvanta/addon.xml ${PROJECT_SOURCE_DIR}/kodi/visualization.quorvanta/resources
    $<TARGET_FILE:visualization.quorvanta> $<TARGET_FILE:quorvanta> $<TARGET_FILE:quorvanta_program>)
  set_tests_properties(kodi_shows_the_visual PROPERTIES LABELS "no-sanitizer;kodi" TIMEOUT 300)
endif()
