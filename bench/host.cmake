# The host program: offline render throughput (to MP4 with audio and to a
# null sink, 1280x720 at 60 fps) and the cost of a frame's audio analysis.
# long_render.sh measures memory and speed against the input's length: a
# one-hour file against a one-minute one, through the program.
if(TARGET qvhost)
  qv_add_bench(host_bench SOURCES host/render_bench.cpp LIBS qvhost)
  target_compile_definitions(host_bench PRIVATE QV_BENCH_BUNDLE="$<TARGET_FILE:quorvanta>")
  add_dependencies(host_bench quorvanta)
endif()
