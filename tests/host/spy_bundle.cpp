// A stand-in visual plug-in for the host's tests. It registers like the real
// bundle (asking for QV_SPY_INTERVAL milliseconds between audio deliveries,
// if set), draws with AGL into the host's port, and appends one line per
// message to the file named by QV_SPY_LOG: "show W H", "swin W H",
// "vevt <char code>", any other message as its code ("init", "null", "hide",
// "clr ", "vply", ...), "module-clr" for the module's end, and for a frame
//   vrnd t=<clock seconds> sc=<spectrum channels> p0=<bin>:<byte> p1=<bin>:<byte>
// with each channel's peak. A "vrnd" frame is painted red = channel 0's peak
// bin, blue = its byte; the others (1, 2, 3). With QV_SPY_REFUSE=init or
// show it fails that message (paramErr) and does nothing for it.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/agl.h"
#include "platform/qv_clock.h"
#include "plugin/host_records.h"

namespace {

AGLContext gContext = nullptr;

OSStatus Log(const std::string &line, OSStatus status = noErr)
{
    if (FILE *f = std::fopen(std::getenv("QV_SPY_LOG") ? std::getenv("QV_SPY_LOG") : "/dev/null", "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
    return status;
}

void Paint(int r, int g, int b)
{
    glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    aglSwapBuffers(gContext);
}

std::string Size(const Rect &r) { return std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top); }

bool Refused(OSType code)
{
    const char *refuse = std::getenv("QV_SPY_REFUSE");
    return refuse && ((code == kPluginInitMessage && !std::strcmp(refuse, "init")) ||
                      (code == kVisualPluginShowWindowMessage && !std::strcmp(refuse, "show")));
}

OSStatus Handler(OSType code, void *info, void *)
{
    if (Refused(code))
        return paramErr;
    const WindowRecord *window = static_cast<const WindowRecord *>(info); // of "show" and "swin"
    switch (code) {
    case kVisualPluginShowWindowMessage: {
        const GLint attributes[] = {AGL_RGBA, AGL_DOUBLEBUFFER, AGL_NONE}, noSync = 0;
        AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
        gContext = aglCreateContext(format, nullptr);
        aglDestroyPixelFormat(format);
        aglSetDrawable(gContext, window->port);
        aglSetCurrentContext(gContext);
        aglSetInteger(gContext, AGL_SWAP_INTERVAL, &noSync);
        Paint(1, 2, 3);
        return Log("show " + Size(window->drawRect));
    }
    case kVisualPluginSetWindowMessage:
        aglUpdateContext(gContext);
        glViewport(0, 0, window->drawRect.right - window->drawRect.left,
                   window->drawRect.bottom - window->drawRect.top);
        Paint(1, 2, 3);
        return Log("swin " + Size(window->drawRect));
    case kVisualPluginRenderMessage: {
        const RenderData *d = static_cast<const RenderMessageRecord *>(info)->renderData;
        int peak[2] = {0, 0};
        for (int c = 0; c < 2; ++c)
            for (int k = 0; k < kVisualNumSpectrumEntries; ++k)
                peak[c] = d->spectrumData[c][k] > d->spectrumData[c][peak[c]] ? k : peak[c];
        char line[100];
        std::snprintf(line, sizeof line, "vrnd t=%ld sc=%d p0=%d:%d p1=%d:%d", static_cast<long>(QVClock_Now()),
                      d->numSpectrumChannels, peak[0], d->spectrumData[0][peak[0]], peak[1],
                      d->spectrumData[1][peak[1]]);
        Paint(peak[0], 0, d->spectrumData[0][peak[0]]);
        return Log(line);
    }
    case kVisualPluginIdleMessage:
        Paint(1, 2, 3);
        break;
    case kVisualPluginEventMessage: {
        const unsigned char c = static_cast<const EventMessageRecord *>(info)->event->message & 0xFF;
        return Log("vevt " + std::to_string(c), c == 'n' || c == 'S' || c == 'm' ? noErr : unimpErr);
    }
    case kVisualPluginHideWindowMessage:
        aglDestroyContext(gContext);
        gContext = nullptr;
        break;
    }
    return Log(std::string{char(code >> 24), char(code >> 16), char(code >> 8), char(code)});
}

} // namespace

extern "C" __attribute__((visibility("default"))) OSStatus iTunesPluginMainMachO(OSType code, PluginInitRecord *record,
                                                                                 void *)
{
    if (code != kPluginInitMessage)
        return Log("module-clr");
    HostCallRecord call;
    std::memset(&call, 0, sizeof call);
    call.majorVersion = kHostCallRecordMajorVersion;
    call.minorVersion = kHostCallRecordMinorVersion;
    call.recordSize = sizeof call;
    VisualRegistration &reg = call.u.registerVisualPluginMessage;
    std::memcpy(reg.name, "\x03Spy", 4);
    reg.options = kVisualWantsIdleMessages;
    reg.handler = &Handler;
    reg.timeBetweenDataMs =
        std::getenv("QV_SPY_INTERVAL") ? std::strtoul(std::getenv("QV_SPY_INTERVAL"), nullptr, 10) : 0xFFFFFFFFu;
    reg.numWaveformChannels = reg.numSpectrumChannels = 2;
    reg.maxWidth = reg.maxHeight = 4000;
    return record->hostProc(record->hostCookie, kPlayerRegisterVisualPluginMessage, &call);
}
