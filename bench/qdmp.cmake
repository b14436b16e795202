# The drawing library's bulk operations on 1024 x 768 maps, each beside its
# anchor: memset and memcpy of the same bytes, and pixman's OVER composite
# where pixman is installed (a yardstick only: the library never depends on it).
pkg_check_modules(PIXMAN IMPORTED_TARGET pixman-1)
qv_add_bench(qdmp_bench SOURCES qdmp/qdmp_bench.cpp LIBS qv_qdmp)
if(PIXMAN_FOUND)
  target_link_libraries(qdmp_bench PRIVATE PkgConfig::PIXMAN)
  target_compile_definitions(qdmp_bench PRIVATE QDMP_BENCH_PIXMAN=1)
endif()
