/* The bundle's GL calls, linked into test programs instead of libGL and GLU: keeps what a context would (colour,
 * z of the modelview translation, matrix stack) and each glBegin/glEnd primitive with its vertices, their colour
 * and its z; of the frame, the viewport and the last 2-D projection's bounds; texture names made and not deleted.
 * Misuse (a vertex outside a primitive, nesting, popping an empty stack) is counted. The frame's other state calls
 * are accepted and ignored. */
#ifndef QV_TESTS_SUPPORT_GL_RECORDER_H
#define QV_TESTS_SUPPORT_GL_RECORDER_H

#include <vector>

#include <GL/gl.h>

struct GlPrimitive {
    GLenum mode;
    float z;
    std::vector<float> rgba, xy; /* xy: x0, y0, x1, y1, ... */
};

struct GlState {
    std::vector<GlPrimitive> drawn;
    std::vector<float> rgba, stack; /* rgba empty until a colour is set; stack: z of each pushed matrix */
    float z;
    int misuse;
    bool open;
    float ortho[4]; /* left, right, bottom, top */
    GLint viewport[4];
};

/* Forgets everything: nothing drawn, no colour, z 0, empty stack. */
const GlState &GlReset();
/* Texture names made and not deleted, over resets. */
long RecordedLiveTextures();

#endif
