# The host's road from decoded samples to RenderData under hostile audio, and
# the decoder under hostile files (see audio/audio_fuzz.cpp). The fuzz
# configuration builds no host program, so the host library is taken from
# host/CMakeLists.txt here, out of the default build, and compiled with the
# fuzzer's coverage instrumentation. No input may allocate more than 256 MB at
# once or take the process beyond 1 GB: a header that sizes buffers by its
# claims (a 1 Hz FLAC once took 4 GB) fails the run.
if(NOT TARGET qvhost_visual)
  add_subdirectory(${PROJECT_SOURCE_DIR}/host ${CMAKE_BINARY_DIR}/host EXCLUDE_FROM_ALL)
endif()
foreach(lib qvhost_common qvhost_audio qvhost_visual)
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()

set(QV_AUDIO_FUZZ_RUNS 10000 CACHE STRING "Executions of audio_fuzz in the test run")
qv_add_fuzzer(audio_fuzz
  SOURCES audio/audio_fuzz.cpp
  LIBS qvhost_audio qvhost_visual
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/audio
  ARGS -runs=${QV_AUDIO_FUZZ_RUNS} -rss_limit_mb=1024 -malloc_limit_mb=256)
