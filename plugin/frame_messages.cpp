// The handler's window and frame messages: they build the scene, the GL
// context and the message texture on "show", feed the frame renderer on
// render and idle ticks, and release everything on "hide" and "clr ".
#include "plugin/frame_messages.h"

#include "figures/polygon.h"
#include "figures/scene.h"
#include "render/frame_renderer.h"
#include "render/gl_context.h"
#include "render/message_texture.h"

namespace {

// Every showing starts the same motion afresh.
void ResetMotion(VisualPluginState *state)
{
    state->spin = 0.002f;
    state->posX = -2.0f;
    state->posY = 3.0f;
    state->velX = 0.03f;
    state->velY = 0.0f;
}

} // namespace

void ReleaseSceneAndTexture(VisualPluginState *state)
{
    delete state->polys; // destroys the whole list, tail first
    state->polys = nullptr;
    // The texture lives in the context: delete it while that is current.
    // Without a context the name is already gone with it.
    if (UseContext(state))
        DeleteMessageTexture(state);
    state->msgTexture = 0;
}

OSStatus ShowWindow(VisualPluginState *state, const WindowRecord *record)
{
    state->port = record->port;
    state->destRect = record->drawRect;
    ReleaseSceneAndTexture(state);
    // A host that shows twice without a hide would otherwise leak the old
    // context, which SetupAGL overwrites.
    if (state->aglContext != nullptr)
        CleanupAGL(state);
    ResetMotion(state);

    if (!BuildScene(&state->polys)) {
        state->ready = 0;
        return memFullErr;
    }
    const SInt32 setup = SetupAGL(state);
    if (setup >= kSetupNoPixelFormat && setup <= kSetupNotCurrent) {
        // No current context: nothing can be drawn. Release what was built
        // and tell the host which step failed.
        ReleaseSceneAndTexture(state);
        CleanupAGL(state);
        state->ready = 0;
        return kShowContextErrBase - setup;
    }
    // The later steps leave the context current: the visual can still be shown.
    CreateMessageTexture(state);
    Init();
    SetViewport(state);
    return noErr;
}

OSStatus SetWindow(VisualPluginState *state, const WindowRecord *record)
{
    state->destRect = record->drawRect; // the port stays the one "show" gave
    SetViewport(state);
    return noErr;
}

OSStatus HideWindow(VisualPluginState *state)
{
    ReleaseSceneAndTexture(state);
    CleanupAGL(state);
    return noErr;
}

OSStatus RenderFrame(VisualPluginState *state, const RenderMessageRecord *record)
{
    if (state->ready == 0 || record == nullptr || record->renderData == nullptr)
        return noErr;
    const RenderData *data = record->renderData;
    draw(state, data->numSpectrumChannels, kVisualNumSpectrumEntries, &data->spectrumData[0][0]);
    return noErr;
}

OSStatus IdleFrame(VisualPluginState *state)
{
    if (state->ready != 0)
        draw(state, 0, 0, nullptr);
    return noErr;
}
