// Placeholder until the renderer lands: the frame messages are accepted and
// draw nothing; there is no scene or texture to release yet.
#include "plugin/FrameMessages.h"

OSStatus ShowWindow(VisualPluginState *state, const WindowRecord *record)
{
    state->port = record->port;
    state->destRect = record->drawRect;
    return noErr;
}

OSStatus SetWindow(VisualPluginState *state, const WindowRecord *record)
{
    state->destRect = record->drawRect;
    return noErr;
}

OSStatus HideWindow(VisualPluginState *) { return noErr; }
OSStatus RenderFrame(VisualPluginState *, const RenderMessageRecord *) { return noErr; }
OSStatus IdleFrame(VisualPluginState *) { return noErr; }
void ReleaseSceneAndTexture(VisualPluginState *) {}
