# The plug-in boundary: entry point, handler, host glue, exports, layout.
qv_add_test(plugin_tests
  SOURCES plugin/registration_test.cpp plugin/handler_test.cpp support/test_host.cpp
  LIBS qvplatform ${CMAKE_DL_LIBS})
# The test defines a function the bundle also defines, to prove the bundle
# binds to its own; it must be visible to the dynamic linker.
set_target_properties(plugin_tests PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(plugin_tests quorvanta)

qv_add_test(host_glue_tests
  SOURCES plugin/host_glue_test.cpp ${PROJECT_SOURCE_DIR}/plugin/host_glue.cpp
          ${PROJECT_SOURCE_DIR}/plugin/memory_routines.cpp
  LIBS qvplatform)

# The records must keep the original interface's offsets on a 32-bit target.
add_test(NAME host_records_layout32
  COMMAND ${CMAKE_CXX_COMPILER} -m32 -std=c++17 -fsyntax-only -I${PROJECT_SOURCE_DIR}
          ${CMAKE_CURRENT_SOURCE_DIR}/plugin/host_records_layout32.cpp)

# The bundle exports exactly the names it offers, and binds its own calls.
add_test(NAME bundle_exports
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/plugin/check_exports.sh $<TARGET_FILE:quorvanta>
          ${CMAKE_CURRENT_SOURCE_DIR}/plugin/bundle_exports.txt)
