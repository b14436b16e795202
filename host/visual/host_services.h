// The host's side of every call the plug-in makes into it: the callback
// procedure handed to the bundle, and what each service does.
//
// Answers: 0 when done; -4 (unimpErr) for a service this host has nothing
// for ("rdev", "dvsn", "pspc", a second "rvis", "sful" without a window,
// unknown codes); -50 (paramErr) for a record or argument that cannot be
// used; -43 (fnfErr) when plug-in data was asked for that was never stored;
// -36 (ioErr) when plug-in data cannot be written.
//
// Called on the host's one thread, from within the messages the host sends.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/visual/plugin_data_store.h"
#include "plugin/host_records.h"

namespace qvhost {

enum { kFileNotFoundErr = -43, kIoErr = -36 };

// What "sfop" asked for; the size is what full screen should use.
struct FullScreenOptions {
    int minBitDepth = 0;
    int maxBitDepth = 0;
    int preferredBitDepth = 0;
    int width = 0;
    int height = 0;
};

class HostServices {
public:
    // What a session (window or offline render) lets the plug-in do. Unset
    // hooks mean the session has nothing for that service.
    struct Hooks {
        // "sful": enter (true) or leave full screen; returns the status.
        std::function<OSStatus(bool)> setFullScreen;
        // "evnt": an event the plug-in did not use; returns whether the host
        // used it.
        std::function<bool(const EventRecord &)> handleEvent;
        // "url ": an address to open.
        std::function<void(const std::string &)> openUrl;
    };

    // `configRoot`: where plug-in data goes (PluginDataStore::DefaultRoot()).
    explicit HostServices(std::string configRoot = PluginDataStore::DefaultRoot());

    // The procedure and cookie handed to the bundle. Never throws.
    static OSStatus Proc(void *cookie, OSType code, HostCallRecord *record);
    void *cookie() { return this; }

    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // The registration ("rvis"), copied when it arrived.
    bool registered() const { return registration_.has_value(); }
    const VisualRegistration &registration() const { return *registration_; }
    // The plug-in's name from its registration.
    std::string pluginName() const;
    // Latest "sfop", if any.
    const std::optional<FullScreenOptions> &fullScreenOptions() const { return fullScreen_; }
    // Set by "unrg": the plug-in wants to be taken out.
    bool unregisterRequested() const { return unregistered_; }

    OSStatus handle(OSType code, HostCallRecord *record);

private:
    OSStatus registerVisual(HostCallRecord *record);
    OSStatus setFullScreenOptions(HostCallRecord *record);
    OSStatus setFullScreen(HostCallRecord *record);
    OSStatus getData(const std::string &name, void *buffer, UInt32 bufferSize, UInt32 *size);
    OSStatus setData(const std::string &name, const void *data, UInt32 size);
    OSStatus openUrl(HostCallRecord *record);
    OSStatus handleEvent(HostCallRecord *record);

    std::string configRoot_;
    Hooks hooks_;
    std::optional<VisualRegistration> registration_;
    std::optional<FullScreenOptions> fullScreen_;
    std::unique_ptr<PluginDataStore> store_;
    bool unregistered_ = false;
};

} // namespace qvhost
