# The host's road from decoded samples to RenderData under hostile audio (see
# audio/audio_fuzz.cpp): the analyzer and the offline renderer's frame
# timing. The fuzz configuration builds no host program, so the host's
# sources are compiled here, with the fuzzer's instrumentation.
pkg_check_modules(QV_FUZZ_HOST_MEDIA REQUIRED IMPORTED_TARGET
  sdl2 fftw3f sndfile libpng libavcodec libavformat libavutil libswresample)
find_package(Threads REQUIRED)

# All of the host but its main(), as host/CMakeLists.txt builds it; the
# fuzzer links only the objects the road needs.
file(GLOB QV_FUZZ_HOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/host/*.cpp)
list(REMOVE_ITEM QV_FUZZ_HOST_SOURCES ${PROJECT_SOURCE_DIR}/host/main.cpp)
add_library(qvhost_fuzz STATIC ${QV_FUZZ_HOST_SOURCES})
target_include_directories(qvhost_fuzz PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(qvhost_fuzz PRIVATE QV_VERSION="${PROJECT_VERSION}")
target_compile_options(qvhost_fuzz PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(qvhost_fuzz PUBLIC qvplatform PkgConfig::QV_FUZZ_HOST_MEDIA OpenGL::GL Threads::Threads
                      ${CMAKE_DL_LIBS})

set(QV_AUDIO_FUZZ_RUNS 10000 CACHE STRING "Executions of audio_fuzz in the test run")
qv_add_fuzzer(audio_fuzz
  SOURCES audio/audio_fuzz.cpp
  LIBS qvhost_fuzz
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/audio
  ARGS -runs=${QV_AUDIO_FUZZ_RUNS})
