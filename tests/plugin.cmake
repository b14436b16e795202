# The plug-in boundary: entry point, handler, host glue, exports, layout.
qv_add_bundle_test(plugin_tests SOURCES plugin/handler_test.cpp)
qv_add_test(host_glue_tests LIBS qvplatform SOURCES plugin/host_glue_test.cpp
  ${PROJECT_SOURCE_DIR}/plugin/host_glue.cpp ${PROJECT_SOURCE_DIR}/plugin/memory_routines.cpp)
# The records keep the original interface's offsets on a 32-bit target.
add_test(NAME host_records_layout32 COMMAND ${CMAKE_CXX_COMPILER} -m32 -std=c++17 -fsyntax-only
  -I${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/plugin/host_records_layout32.cpp)
# The bundle exports exactly the names it offers, and binds its own calls.
add_test(NAME bundle_exports COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/plugin/check_exports.sh $<TARGET_FILE:quorvanta>
  ${CMAKE_CURRENT_SOURCE_DIR}/plugin/bundle_exports.txt)
