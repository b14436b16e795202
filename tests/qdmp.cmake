# The pixel-map drawing library. The main test links the library's objects,
# so it reaches the internal conversions and kernels as well as the QDMP_
# calls; the header tests link the shared library as other programs do.
# Guarded maps, the per-pixel reference and the random call driver; the
# programs that use them link the library's objects themselves.
add_library(qdmp_test_support STATIC qdmp/support/guarded_map.cpp qdmp/support/reference.cpp
            qdmp/support/call_driver.cpp)
target_include_directories(qdmp_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qdmp_test_support PUBLIC qvplatform)

qv_add_test(qdmp_tests
  SOURCES
    qdmp/geometry_test.cpp
    qdmp/color_test.cpp
    qdmp/pixel_test.cpp
    qdmp/copy_test.cpp
    qdmp/blend_test.cpp
    qdmp/shapes_test.cpp
    qdmp/random_mix_test.cpp
    qdmp/mip_test.cpp
    qdmp/randomized_test.cpp
    qdmp/platform_pixmap_test.cpp
  LIBS qv_qdmp qdmp_test_support)

# The services probe is a weak reference: this program defines it.
qv_add_test(qdmp_mp_probe_tests SOURCES qdmp/mp_probe_test.cpp LIBS qv_qdmp)

# The public header, compiled as C and as C++, against the shared library.
qv_add_test(qdmp_header_tests SOURCES qdmp/header_test.cpp qdmp/header_c.c LIBS qvqdmp)
target_compile_definitions(qdmp_header_tests PRIVATE QDMP_LIBRARY_FILE="$<TARGET_FILE:qvqdmp>")
target_link_libraries(qdmp_header_tests PRIVATE ${CMAKE_DL_LIBS})

# Another program builds against the installed header and pkg-config file
# and draws. Not under the sanitizers: a plain program cannot load an
# instrumented library.
if(NOT QV_SANITIZE)
  add_test(NAME qdmp_installed_package
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/qdmp-installed
            -DC_COMPILER=${CMAKE_C_COMPILER} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/qdmp/installed_program.c
            -P ${CMAKE_CURRENT_SOURCE_DIR}/qdmp/installed_package_test.cmake)
endif()
