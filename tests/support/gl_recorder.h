/* A stand-in for the few immediate-mode GL entry points the figures call:
 * test programs link this instead of libGL, and every call is recorded in
 * order, so drawing can be checked call by call without a context. */
#ifndef QV_TESTS_SUPPORT_GL_RECORDER_H
#define QV_TESTS_SUPPORT_GL_RECORDER_H

#include <string>
#include <vector>

#include <GL/gl.h>

struct GlCall {
    enum Op { Translate, Color3, Color4, Begin, Vertex2, End, PushMatrix, PopMatrix } op;
    GLenum mode;  /* Begin only */
    float v[4];   /* arguments in order; unused ones 0 */
};

/* Calls recorded since the last GlRecorderReset. */
const std::vector<GlCall> &GlRecorded();
void GlRecorderReset();

/* The recorded calls as text, one per line, e.g. "glVertex2f(1, -0.5)". */
std::string GlTrace(const std::vector<GlCall> &calls);

#endif
