# The GStreamer element: found by gst-inspect-1.0, its frames against the
# program's, inside playbin, bad input, and state cycles. The test program
# loads the built element itself; gst-inspect-1.0 finds it through
# GST_PLUGIN_PATH. Both keep a registry of their own in the build tree.
if(TARGET gstquorvanta)
  pkg_check_modules(QVGST_TEST REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-app-1.0)
  qv_add_test(gst_element_tests SOURCES gst/element_test.cpp support/image_io.cpp
    LIBS qvhost PkgConfig::QVGST_TEST)
  target_compile_definitions(gst_element_tests PRIVATE
    QV_TEST_PROGRAM="$<TARGET_FILE:quorvanta_program>" QV_TEST_BUNDLE="$<TARGET_FILE:quorvanta>"
    QV_TEST_SPY_BUNDLE="$<TARGET_FILE:qv_spy_bundle>" QV_TEST_NO_ENTRY_BUNDLE="$<TARGET_FILE:qv_no_entry_bundle>"
    QV_TEST_ELEMENT="$<TARGET_FILE:gstquorvanta>" QV_TEST_GST_REGISTRY="${CMAKE_CURRENT_BINARY_DIR}/gst-registry.bin"
    QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/gst-output")
  add_dependencies(gst_element_tests gstquorvanta quorvanta_program qv_spy_bundle qv_no_entry_bundle)

  # A sanitized element cannot be loaded by the uninstrumented gst-inspect-1.0.
  add_test(NAME gst_inspect_finds_the_element COMMAND gst-inspect-1.0 quorvanta)
  set_tests_properties(gst_inspect_finds_the_element PROPERTIES LABELS no-sanitizer
    PASS_REGULAR_EXPRESSION "Long-name +Quorvanta.*Klass +Visualization"
    ENVIRONMENT "GST_PLUGIN_PATH=$<TARGET_FILE_DIR:gstquorvanta>;GST_REGISTRY=${CMAKE_CURRENT_BINARY_DIR}/gst-inspect-registry.bin")
endif()
