# The plug-in boundary: entry point, handler, host glue, exports, layout.
qv_add_bundle_test(plugin_tests SOURCES plugin/handler_test.cpp plugin/record_bytes_test.cpp)
qv_add_test(host_glue_tests LIBS qvplatform SOURCES plugin/host_glue_test.cpp
  ${PROJECT_SOURCE_DIR}/plugin/host_glue.cpp ${PROJECT_SOURCE_DIR}/plugin/memory_routines.cpp)
# The bundle exports exactly the names it offers, and binds its own calls.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME bundle_exports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/plugin/check_exports.sh $<TARGET_FILE:quorvanta>
    ${CMAKE_CURRENT_SOURCE_DIR}/plugin/bundle_exports.txt)
endif()
