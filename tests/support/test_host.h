// The host the tests, the message fuzzer and the benchmark drive the bundle
// with, as the player does: it loads the built bundle ($QV_BUNDLE), records
// the bundle's calls into the host, owns a port that counts the frames handed
// to it, and sends the handler's messages. Its GL guard (GL entry points the
// program exports, built with ENABLE_EXPORTS, so that the bundle's calls bind
// to them) aborts, naming the call, on GL work of a message outside the
// context of the instance it went to, or of a message without an instance.
// Built with QV_TEST_BUNDLE_LINKED_IN, it drives the bundle's parts linked
// into the program instead (GL recorder and AGL stand-in, no guard).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/agl_test_hooks.h"
#include "plugin/host_records.h"
#include "render/plugin_state.h"

namespace qvtest {

constexpr OSType FourCC(const char *c) // FourCC("show") == 0x73686F77
{
    return OSType(UInt8(c[0])) << 24 | OSType(UInt8(c[1])) << 16 | OSType(UInt8(c[2])) << 8 | UInt8(c[3]);
}

void FixClock(time_t now); // the platform's calendar clock stands still at `now`
long GLCallsSeen();        // by the guard (0 when the program does not export it)
long LiveTextures();       // texture names generated and not deleted
void ForgetTextures();     // after contexts went with names the bundle could not delete

struct HostCall {
    OSType code;
    HostCallRecord record; // as the host saw it
};

class TestHost {
public:
    explicit TestHost(SInt16 width = 64, SInt16 height = 48); // loads the bundle, makes the port
    ~TestHost(); // hides and ends an instance still held, unloads the bundle
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    bool fresh() const { return fresh_; } // no copy was loaded before: the renderer's statics are new
    PluginMainProcPtr entry() const { return entry_; }
    void *symbol(const char *name) const; // of the bundle
    OSStatus initModule();                // registers the plug-in, keeps its handler
    OSStatus initInstance();              // on 0, refCon is the new instance
    OSStatus cleanupInstance();
    bool open() { return entry_ && port_ && initModule() == noErr && handler && initInstance() == noErr; }
    VisualPluginProcPtr handler = nullptr;
    void *refCon = nullptr;
    VisualPluginState *state() const { return static_cast<VisualPluginState *>(refCon); }

    OSStatus send(OSType code, void *record);        // to the instance
    OSStatus sendWithout(OSType code, void *record); // with a null refcon
    OSStatus show(const Rect &rect, CGrafPtr port = nullptr);
    OSStatus show() { return show(whole()); }
    OSStatus swin(const Rect &rect);
    OSStatus hide() { return send(kVisualPluginHideWindowMessage, nullptr); }
    OSStatus idle() { return send(kVisualPluginIdleMessage, nullptr); }
    OSStatus render(const RenderData &data);
    OSStatus render(UInt8 level); // the 40 bass bytes of channel 0 at `level`

    CGrafPtr port() const { return port_; }
    Rect whole() const;
    long frames = 0; // handed to the port; the last one's changed rectangle and swap interval:
    Rect lastFrame{};
    SInt32 lastInterval = -1;

    std::vector<HostCall> calls;
    OSStatus answer = noErr;                                       // to every call of the bundle
    void (*onCall)(OSType code, HostCallRecord *record) = nullptr; // before answering; may throw
    static OSStatus Proc(void *cookie, OSType code, HostCallRecord *record);

private:
    void *dl_ = nullptr;
    bool fresh_ = false;
    PluginMainProcPtr entry_ = nullptr;
    CGrafPtr port_ = nullptr;
};

// "" when what is alive in the platform and the GL is what the instances of
// `hosts` (all in the process) hold, else what differs (texture names only
// when `textures`).
std::string Unaccounted(const std::vector<const TestHost *> &hosts, bool textures = true);

} // namespace qvtest
