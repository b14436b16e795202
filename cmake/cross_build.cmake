# What a cross build (a toolchain file such as cmake/powerpc-linux-gnu.cmake)
# has instead of the host machine's libraries: the target has no OpenGL, GLU,
# AGL or libpng, so only the bundle's code and its tests are built, and the
# test programs bring the GL entry points themselves (tests/support).

# The GL and GLU headers are plain C declarations, the same for every target:
# the host machine's are offered through a directory of their own, so no other
# host header can reach the target's compiler.
find_path(QV_HOST_GL_INCLUDE_DIR GL/gl.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QV_CROSS_GL_INCLUDE ${CMAKE_BINARY_DIR}/gl-include)
file(MAKE_DIRECTORY ${QV_CROSS_GL_INCLUDE})
foreach(dir GL KHR)
  file(CREATE_LINK ${QV_HOST_GL_INCLUDE_DIR}/${dir} ${QV_CROSS_GL_INCLUDE}/${dir} SYMBOLIC)
endforeach()
foreach(target OpenGL::GL PkgConfig::GLU)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QV_CROSS_GL_INCLUDE})
endforeach()

# GoogleTest compiled for the target from Debian's source package (googletest).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# It names its libraries GTest::gtest and GTest::gtest_main, as the installed package does.
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The message image is turned into source by a program of the host machine:
# the one a native build of this tree made.
set(QV_PNG_TO_BITMAP "" CACHE FILEPATH "qv_png_to_bitmap of a native build (bin/ of its build tree)")
if(NOT EXISTS "${QV_PNG_TO_BITMAP}")
  message(FATAL_ERROR "a cross build needs QV_PNG_TO_BITMAP: the qv_png_to_bitmap of a native build")
endif()
