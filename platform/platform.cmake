# AGL over EGL: contexts come from libEGL, drawing and read-back from libGL.
target_link_libraries(qvplatform PRIVATE OpenGL::EGL OpenGL::GL)
