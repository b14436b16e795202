/* Hooks into the AGL stand-in for tests only, apart from the interface a
 * visual uses (agl.h): failures injected into AGL calls and counts of what is
 * alive, so that tests can drive every failure road and check that nothing
 * outlives its owner. Process-wide, not thread-safe; no product code calls
 * them. */
#ifndef QV_PLATFORM_AGLTESTHOOKS_H
#define QV_PLATFORM_AGLTESTHOOKS_H

#ifdef __cplusplus
extern "C" {
#endif

/* The AGL calls that a test can make fail. */
typedef enum QVAGLCall {
    kQVAGLChoosePixelFormat = 1, /* the chooser finds no format */
    kQVAGLCreateContext,
    kQVAGLSetDrawable,
    kQVAGLSetCurrentContext, /* only when making a context current, not with null */
    kQVAGLUpdateContext,
    kQVAGLSetInteger,
    kQVAGLEnable
} QVAGLCall;

/* The next `count` calls of `call` fail as their real failure would
 * (count < 0: every call until reset; 0 turns the failure off). */
void QVAGL_FailCall(QVAGLCall call, int count);
/* Turns every injected failure off. */
void QVAGL_ResetFailures(void);
/* Test hook: with 0, framebuffers fitted from now on read back through the
 * context's buffer even where the GL could read straight into the port (so
 * tests reach both roads); 1 (the default) allows the straight road. */
void QVAGL_AllowStraightReadBack(int allow);
/* Contexts created and not yet destroyed. */
long QVAGL_LiveContextCount(void);
/* Pixel formats chosen and not yet destroyed. */
long QVAGL_LivePixelFormatCount(void);
/* Offscreen framebuffers (one per context that has had a drawable) not yet
 * released with their context. */
long QVAGL_LiveFramebufferCount(void);

#ifdef __cplusplus
}
#endif

#endif
