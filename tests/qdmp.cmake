# The drawing library's tests link its objects, so they reach its internal
# conversions and kernels as well as the QDMP_ calls. The second program
# defines the services probe that the library references weakly.
qv_add_test(qdmp_tests SOURCES qdmp/qdmp_test.cpp qdmp/support/call_driver.cpp LIBS qv_qdmp)
qv_add_test(qdmp_mp_probe_tests SOURCES qdmp/mp_probe_test.cpp LIBS qv_qdmp)
# Another program builds as C against the installed header and pkg-config file
# (not under the sanitizers: a plain program cannot load an instrumented library;
# not in a cross build, whose compiler would not make a program of the host machine).
if(NOT QV_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME qdmp_installed_package
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/qdmp-installed
            -DC_COMPILER=${CMAKE_C_COMPILER} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/qdmp/installed_program.c
            -P ${CMAKE_CURRENT_SOURCE_DIR}/qdmp/installed_package_test.cmake)
endif()
