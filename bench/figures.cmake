# Figures: one frame's step of the built-in scene.
qv_add_bench(figures_bench SOURCES figures/scene_step_bench.cpp LIBS qv_figures)
