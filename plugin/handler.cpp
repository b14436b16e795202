// The visual plug-in's message handler: instance life ("init", "clr "), key
// events that choose full-screen presets, and dispatch of everything else.
#include "platform/mac_memory.h"
#include "plugin/frame_messages.h"
#include "plugin/host_glue.h"
#include "plugin/visual_plugin.h"
#include "render/plugin_state.h"

namespace {

struct FullScreenPreset {
    SInt16 minDepth, maxDepth, preferredDepth, width, height;
};

const FullScreenPreset kDefaultPreset = {24, 32, 32, 1024, 768}; // "init", key 'n'
const FullScreenPreset kWidePreset = {24, 32, 32, 1152, 720};    // key 'S'
const FullScreenPreset kLargePreset = {16, 32, 32, 1680, 1050};  // key 'm'

void SendPreset(const VisualPluginState *state, const FullScreenPreset &p)
{
    // The host's answer is advisory; there is nothing to do if it declines.
    PlayerSetFullScreenOptions(state->hostCookie, state->hostProc, p.minDepth, p.maxDepth, p.preferredDepth, p.width,
                               p.height);
}

OSStatus InitInstance(VisualInitRecord *record)
{
    VisualPluginState *state = reinterpret_cast<VisualPluginState *>(NewPtrClear(sizeof(VisualPluginState)));
    if (state == nullptr)
        return memFullErr;
    state->hostCookie = record->hostCookie;
    state->hostProc = record->hostProc;
    state->polys = nullptr;
    state->msgTexture = 0;
    record->refCon = state;
    // The wish is advisory and its answer never looked at: a host callback
    // that throws must not cost the host the instance it now holds (it would
    // get an error and never end the instance).
    try {
        SendPreset(state, kDefaultPreset);
    } catch (...) {
    }
    return noErr;
}

OSStatus CleanupInstance(VisualPluginState *state)
{
    if (state == nullptr)
        return noErr;
    // A host that ends a shown instance without "hide" would leak its GL
    // context with the state: hide it first.
    if (state->aglContext != nullptr)
        HideWindow(state);
    ReleaseSceneAndTexture(state);
    DisposePtr(reinterpret_cast<Ptr>(state));
    return noErr;
}

OSStatus HandleEvent(const VisualPluginState *state, const EventRecord *event)
{
    if (event->what != keyDown && event->what != autoKey)
        return unimpErr;
    switch (static_cast<char>(event->message & 0xFF)) { // case-sensitive
    case 'm':
        SendPreset(state, kLargePreset);
        return noErr;
    case 'S':
        SendPreset(state, kWidePreset);
        return noErr;
    case 'n':
        SendPreset(state, kDefaultPreset);
        return noErr;
    default:
        return unimpErr; // not consumed: the host handles the key itself
    }
}

OSStatus Dispatch(OSType code, VisualPluginMessageInfo *info, VisualPluginState *state)
{
    switch (code) {
    case kPluginInitMessage:
        if (info == nullptr || info->initMessage.hostProc == nullptr)
            return paramErr;
        return InitInstance(&info->initMessage);
    case kPluginCleanupMessage:
        return CleanupInstance(state);

    // Render and idle ticks tolerate a missing instance, and one not yet
    // shown: nothing is drawn, whatever the record. A render tick that would
    // draw but comes without its render data is refused.
    case kVisualPluginRenderMessage:
        if (state == nullptr || state->ready == 0)
            return noErr;
        if (info == nullptr || info->renderMessage.renderData == nullptr)
            return paramErr;
        return RenderFrame(state, &info->renderMessage);
    case kVisualPluginIdleMessage:
        return state ? IdleFrame(state) : noErr;

    // These need the instance, and all but "hide" their record ("show" also
    // its port); a host that breaks that promise gets a parameter error
    // instead of a crash, and the instance is left as it was.
    case kVisualPluginShowWindowMessage:
        if (state == nullptr || info == nullptr || info->windowMessage.port == nullptr)
            return paramErr;
        return ShowWindow(state, &info->windowMessage);
    case kVisualPluginSetWindowMessage:
        if (state == nullptr || info == nullptr)
            return paramErr;
        return SetWindow(state, &info->windowMessage);
    case kVisualPluginHideWindowMessage:
        if (state == nullptr)
            return paramErr;
        return HideWindow(state);
    case kVisualPluginEventMessage:
        if (state == nullptr || info == nullptr || info->eventMessage.event == nullptr)
            return paramErr;
        return HandleEvent(state, info->eventMessage.event);

    case kPluginConfigureMessage:
    case kVisualPluginChangeTrackMessage:
    case kVisualPluginSetPositionMessage:
    case kVisualPluginPlayMessage:
    case kVisualPluginStopMessage:
    case kVisualPluginPauseMessage:
    case kVisualPluginUnpauseMessage:
    case kVisualPluginEnableMessage:
    case kVisualPluginDisableMessage:
    case kVisualPluginUpdateMessage:
        return noErr;
    default:
        return unimpErr;
    }
}

} // namespace

QV_EXTERN_C OSStatus VisualPluginHandler(OSType code, void *messageInfo, void *refCon)
{
    try {
        return Dispatch(code, static_cast<VisualPluginMessageInfo *>(messageInfo),
                        static_cast<VisualPluginState *>(refCon));
    } catch (...) {
        // Nothing of ours throws; a host callback written in C++ might.
        return paramErr;
    }
}
