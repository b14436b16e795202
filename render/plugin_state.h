/* Per-instance state of the visual, owned by the message handler from "init"
 * to "clr " (allocated with NewPtrClear, freed with DisposePtr). Used on the
 * host's thread only. */
#ifndef QV_RENDER_PLUGIN_STATE_H
#define QV_RENDER_PLUGIN_STATE_H

#include "platform/agl.h"

/* The host's callback procedure and its call record, as the host records
 * declare them; the renderer only carries them, so it does not include the
 * records (the compiler checks that both declarations agree). */
struct HostCallRecord;
typedef OSStatus (*PlayerProcPtr)(void *hostCookie, OSType code, struct HostCallRecord *record);

class polygon;

struct VisualPluginState {
    void *hostCookie; /* first argument of every call into the host */
    PlayerProcPtr hostProc;
    CGrafPtr port;         /* the host's port; not owned */
    AGLContext aglContext; /* owned from SetupAGL to CleanupAGL; null when none */
    Rect destRect;         /* rectangle of the port to draw into, port pixels */
    Rect portBounds;       /* refreshed by SetViewport */
    SInt32 ready;          /* non-zero once a viewport has been set */
    SInt32 colorIndex;     /* background colour slot, 0..4 */
    polygon *polys;        /* owning head of the scene; null when no scene */
    UInt32 msgTexture;     /* GL texture name of the message image; 0 when none */
    float spin;            /* rotation of the scene per frame, radians */
    float posX;            /* tracked position of the scene, world units */
    float posY;
    float velX; /* step per frame, world units */
    float velY;
};

#endif
