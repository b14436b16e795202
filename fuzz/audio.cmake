# The host's road from decoded samples to RenderData under hostile audio (see
# audio/audio_fuzz.cpp). The fuzz configuration builds no host program, so
# the host's sources that the road runs through (the analyzer, and the frame
# timing of the offline renderer with what that file needs) are compiled
# here, with the fuzzer's instrumentation.
pkg_check_modules(QV_FUZZ_HOST_MEDIA REQUIRED IMPORTED_TARGET
  fftw3f sndfile libpng libavcodec libavformat libavutil libswresample)
find_package(Threads REQUIRED)

set(QV_FUZZ_HOST_SOURCES AudioClip.cpp SpectrumAnalyzer.cpp OfflineRenderer.cpp FramePipeline.cpp OutputFiles.cpp
    PngWriter.cpp Port.cpp Progress.cpp VisualHost.cpp HostServices.cpp PluginDataStore.cpp Mp4Writer.cpp
    YuvConversion.cpp)
list(TRANSFORM QV_FUZZ_HOST_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/host/)
add_library(qvhost_fuzz STATIC ${QV_FUZZ_HOST_SOURCES})
target_include_directories(qvhost_fuzz PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(qvhost_fuzz PRIVATE -fsanitize=fuzzer-no-link)
target_link_libraries(qvhost_fuzz PUBLIC qvplatform PkgConfig::QV_FUZZ_HOST_MEDIA OpenGL::GL Threads::Threads
                      ${CMAKE_DL_LIBS})

set(QV_AUDIO_FUZZ_RUNS 10000 CACHE STRING "Executions of audio_fuzz in the test run")
qv_add_fuzzer(audio_fuzz
  SOURCES audio/audio_fuzz.cpp
  LIBS qvhost_fuzz
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/audio
  ARGS -runs=${QV_AUDIO_FUZZ_RUNS})
