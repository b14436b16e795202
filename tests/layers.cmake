# The include-order check passes on the tree and refuses a file that
# includes a folder above its own.
add_test(NAME layer_check COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-layers ${PROJECT_SOURCE_DIR})
add_test(NAME layer_check_refuses_upward COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-layers
         ${CMAKE_CURRENT_SOURCE_DIR}/layers)
set_tests_properties(layer_check_refuses_upward PROPERTIES
  PASS_REGULAR_EXPRESSION "render/reaches_up.cpp:2: render/ may not include plugin/handler.h")
