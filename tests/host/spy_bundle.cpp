// A stand-in visual plug-in for the host's tests. It registers like the real
// bundle, draws with AGL into the host's port, and writes one line per
// message it receives to the file named by QV_SPY_LOG:
//
//   init | show W H | swin W H | hide | clr | module-clr | null
//   vrnd t=<clock> sc=<spectrum channels> wc=<waveform channels>
//        p0=<bin>:<value> p1=<bin>:<value> w0=<min>..<max> w1=<min>..<max>
//   vevt <char code> | <any other code as its four characters>
//
// Each "vrnd" frame is cleared to a colour that encodes channel 0's peak:
// red = bin & 0xFF, green = bin >> 8, blue = the peak's byte; "null" frames
// are (1, 2, 3). QV_SPY_FAIL makes one step fail: "module" (module init),
// "register" (no registration), "init" (handler init), "show".
// QV_SPY_NO_IDLE leaves idle messages out of the registration,
// QV_SPY_INTERVAL asks for that many milliseconds between audio deliveries.
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/AGL.h"
#include "platform/QVClock.h"
#include "plugin/HostRecords.h"

#define SPY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct SpyState {
    void *cookie;
    PlayerProcPtr proc;
    CGrafPtr port;
    AGLContext context;
};

bool Failing(const char *step)
{
    const char *f = std::getenv("QV_SPY_FAIL");
    return f && std::strcmp(f, step) == 0;
}

void Log(const std::string &line)
{
    const char *path = std::getenv("QV_SPY_LOG");
    if (!path)
        return;
    FILE *f = std::fopen(path, "a");
    if (!f)
        return;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

std::string CodeText(OSType code)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8)
        s += static_cast<char>((code >> shift) & 0xFF);
    return s;
}

void Clear(SpyState *s, int r, int g, int b)
{
    if (!s->context)
        return;
    glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    aglSwapBuffers(s->context);
}

std::string RectText(const Rect &r)
{
    return std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

OSStatus Show(SpyState *s, const WindowRecord *w)
{
    if (Failing("show")) {
        Log("show-failed");
        return paramErr;
    }
    s->port = w->port;
    const GLint attributes[] = {AGL_RGBA, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
    s->context = format ? aglCreateContext(format, nullptr) : nullptr;
    aglDestroyPixelFormat(format);
    if (s->context) {
        aglSetDrawable(s->context, s->port);
        aglSetCurrentContext(s->context);
        const GLint zero = 0;
        aglSetInteger(s->context, AGL_SWAP_INTERVAL, &zero);
    }
    Log("show " + RectText(w->drawRect));
    Clear(s, 1, 2, 3);
    return noErr;
}

void Render(SpyState *s, const RenderData *d)
{
    int bin[2] = {0, 0}, peak[2] = {0, 0}, lo[2] = {255, 255}, hi[2] = {0, 0};
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < kVisualNumSpectrumEntries; ++k)
            if (d->spectrumData[c][k] > peak[c]) {
                peak[c] = d->spectrumData[c][k];
                bin[c] = k;
            }
        for (int i = 0; i < kVisualNumWaveformEntries; ++i) {
            lo[c] = std::min<int>(lo[c], d->waveformData[c][i]);
            hi[c] = std::max<int>(hi[c], d->waveformData[c][i]);
        }
    }
    char line[256];
    std::snprintf(line, sizeof line, "vrnd t=%ld sc=%d wc=%d p0=%d:%d p1=%d:%d w0=%d..%d w1=%d..%d",
                  static_cast<long>(QVClock_Now()), d->numSpectrumChannels, d->numWaveformChannels, bin[0], peak[0],
                  bin[1], peak[1], lo[0], hi[0], lo[1], hi[1]);
    Log(line);
    Clear(s, bin[0] & 0xFF, bin[0] >> 8, peak[0]);
}

OSStatus Handler(OSType code, void *info, void *refCon)
{
    SpyState *s = static_cast<SpyState *>(refCon);
    switch (code) {
    case kPluginInitMessage: {
        if (Failing("init")) {
            Log("init-failed");
            return memFullErr;
        }
        VisualInitRecord *r = static_cast<VisualInitRecord *>(info);
        s = new SpyState{r->hostCookie, r->hostProc, nullptr, nullptr};
        r->refCon = s;
        Log("init");
        return noErr;
    }
    case kVisualPluginShowWindowMessage:
        return Show(s, static_cast<const WindowRecord *>(info));
    case kVisualPluginSetWindowMessage: {
        const WindowRecord *w = static_cast<const WindowRecord *>(info);
        if (s->context) {
            aglUpdateContext(s->context);
            glViewport(0, 0, w->drawRect.right - w->drawRect.left, w->drawRect.bottom - w->drawRect.top);
        }
        Log("swin " + RectText(w->drawRect));
        Clear(s, 1, 2, 3);
        return noErr;
    }
    case kVisualPluginRenderMessage:
        Render(s, static_cast<const RenderMessageRecord *>(info)->renderData);
        return noErr;
    case kVisualPluginIdleMessage:
        Log("null");
        Clear(s, 1, 2, 3);
        return noErr;
    case kVisualPluginEventMessage: {
        const EventRecord *e = static_cast<const EventMessageRecord *>(info)->event;
        const char c = static_cast<char>(e->message & 0xFF);
        Log("vevt " + std::to_string(static_cast<unsigned char>(c)));
        return (c == 'n' || c == 'S' || c == 'm') ? noErr : unimpErr;
    }
    case kVisualPluginHideWindowMessage:
        if (s->context)
            aglDestroyContext(s->context);
        s->context = nullptr;
        Log("hide");
        return noErr;
    case kPluginCleanupMessage:
        delete s;
        Log("clr");
        return noErr;
    default:
        Log(CodeText(code));
        return noErr;
    }
}

} // namespace

SPY_EXPORT OSStatus iTunesPluginMainMachO(OSType code, PluginInitRecord *record, void *)
{
    if (code == kPluginCleanupMessage) {
        Log("module-clr");
        return noErr;
    }
    if (code != kPluginInitMessage)
        return unimpErr;
    if (Failing("module"))
        return paramErr;
    if (Failing("register"))
        return noErr;
    HostCallRecord call;
    std::memset(&call, 0, sizeof call);
    call.majorVersion = kHostCallRecordMajorVersion;
    call.minorVersion = kHostCallRecordMinorVersion;
    call.recordSize = sizeof call;
    VisualRegistration &reg = call.u.registerVisualPluginMessage;
    const char name[] = "\x03Spy";
    std::memcpy(reg.name, name, 4);
    reg.options = std::getenv("QV_SPY_NO_IDLE") ? 0 : kVisualWantsIdleMessages;
    reg.creator = QV_FOUR_CC('s', 'p', 'y', ' ');
    reg.handler = &Handler;
    const char *interval = std::getenv("QV_SPY_INTERVAL");
    reg.timeBetweenDataMs = interval ? static_cast<UInt32>(std::atoi(interval)) : 0xFFFFFFFFu;
    reg.numWaveformChannels = 2;
    reg.numSpectrumChannels = std::getenv("QV_SPY_ONE_CHANNEL") ? 1 : 2;
    reg.maxWidth = 4000;
    reg.maxHeight = 4000;
    return record->hostProc(record->hostCookie, kPlayerRegisterVisualPluginMessage, &call);
}
