# Figures: the polygon class and the built-in scene. These programs take the
# figure objects without libGL: a recording stand-in supplies the GL calls.
add_library(qv_figures_glrec OBJECT support/gl_recorder.cpp)
target_include_directories(qv_figures_glrec PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})

qv_add_test(figures_tests
  SOURCES figures/polygon_test.cpp figures/polygon_step_test.cpp figures/scene_test.cpp support/alloc_counter.cpp
          $<TARGET_OBJECTS:qv_figures> $<TARGET_OBJECTS:qv_figures_glrec>)

# The round trip: a build step dumps the built scene as source, and the
# replay test compiles that source.
add_executable(figures_scene_dump figures/scene_dump_main.cpp
               $<TARGET_OBJECTS:qv_figures> $<TARGET_OBJECTS:qv_figures_glrec>)
target_include_directories(figures_scene_dump PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
set(QV_SCENE_DUMP_DIR ${CMAKE_CURRENT_BINARY_DIR}/figures)
add_custom_command(OUTPUT ${QV_SCENE_DUMP_DIR}/scene_dump.inc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_SCENE_DUMP_DIR}
  COMMAND figures_scene_dump ${QV_SCENE_DUMP_DIR}/scene_dump.inc
  DEPENDS figures_scene_dump
  COMMENT "Dumping the built-in scene as source")
qv_add_test(figures_replay_tests
  SOURCES figures/scene_replay_test.cpp ${QV_SCENE_DUMP_DIR}/scene_dump.inc
          $<TARGET_OBJECTS:qv_figures> $<TARGET_OBJECTS:qv_figures_glrec>)
target_include_directories(figures_replay_tests PRIVATE ${QV_SCENE_DUMP_DIR})

# The expected values are computed operation by operation, like the figures'
# own arithmetic: no fused multiply-add in either.
target_compile_options(figures_tests PRIVATE -ffp-contract=off)
target_compile_options(figures_replay_tests PRIVATE -ffp-contract=off)
