# The host program: offline render throughput (to MP4 with audio and to a
# null sink, 1280x720 at 60 fps), the cost of a frame's audio analysis, and
# the colour conversion against libswscale's (libswscale-dev, test list).
# long_render.sh measures memory and speed against the input's length: a
# one-hour file against a one-minute one, through the program.
if(TARGET qvhost)
  pkg_check_modules(SWSCALE REQUIRED IMPORTED_TARGET libswscale)
  qv_add_bench(host_bench SOURCES host/render_bench.cpp LIBS qvhost PkgConfig::SWSCALE)
  target_compile_definitions(host_bench PRIVATE QV_BENCH_BUNDLE="$<TARGET_FILE:quorvanta>")
  add_dependencies(host_bench quorvanta)
endif()
