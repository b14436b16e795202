# Hardening: the bundle against a host that breaks its promises, show/hide
# soak with resource accounting, and the program against broken audio files.
#
# The message and soak tests link gl_guard.cpp, which defines the GL entry
# points the bundle imports; ENABLE_EXPORTS makes the dynamic linker bind the
# bundle's calls to them, so every GL call is checked for its context.
find_package(PNG REQUIRED)

set(QV_HARDENING_GL_LIBS qvplatform OpenGL::GL OpenGL::EGL PkgConfig::GLU ${CMAKE_DL_LIBS})

qv_add_test(hardening_soak_tests
  SOURCES hardening/soak_test.cpp hardening/soak_cycle.cpp hardening/heap_meter.cpp hardening/gl_guard.cpp
          support/test_host.cpp support/image_io.cpp
  LIBS ${QV_HARDENING_GL_LIBS} PNG::PNG)

qv_add_test(hardening_message_tests
  SOURCES hardening/hostile_messages_test.cpp hardening/heap_meter.cpp hardening/gl_guard.cpp support/test_host.cpp
  LIBS ${QV_HARDENING_GL_LIBS})

foreach(t hardening_soak_tests hardening_message_tests)
  set_target_properties(${t} PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(${t} quorvanta)
endforeach()
# Where a soak whose first frames differ leaves the frame and its difference.
target_compile_definitions(hardening_soak_tests PRIVATE
  QV_RENDER_OUTPUT_DEFAULT="${CMAKE_CURRENT_BINARY_DIR}/hardening-output")
