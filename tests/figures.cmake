# Figures: the polygon class and the built-in scene, on a GL stand-in instead of libGL. The expected step values
# are computed operation by operation like the figures' own arithmetic: no fused multiply-add in either.
qv_add_test(figures_tests
  SOURCES figures/figures_test.cpp support/alloc_counter.cpp support/gl_recorder.cpp $<TARGET_OBJECTS:qv_figures>)
target_compile_options(figures_tests PRIVATE -ffp-contract=off)
