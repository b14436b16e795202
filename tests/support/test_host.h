// A host for tests: loads the built bundle with dlopen (path from the
// QV_BUNDLE environment variable), serves its calls into the host by
// recording them, and drives the entry point and the registered handler as
// the player does.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "plugin/HostRecords.h"

namespace qvtest {

// One call the bundle made into the host: its code and a copy of the record
// as the host saw it (all zero bytes when the bundle passed none).
struct HostCall {
    OSType code;
    HostCallRecord record;
    bool hadRecord;
};

class TestHost {
public:
    // Loads the bundle; fails the current test (and leaves entry() null) if
    // it cannot.
    TestHost();
    ~TestHost();
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    PluginMainProcPtr entry() const { return entry_; }
    void *dlHandle() const { return dl_; }
    template <typename T> T symbol(const char *name) const { return reinterpret_cast<T>(lookup(name)); }

    // Module "init": registers the plug-in; returns the entry point's status.
    OSStatus initModule();
    // The handler from the last "rvis" call, or null.
    VisualPluginProcPtr handler() const { return handler_; }

    // Handler "init": creates an instance; returns the status. On success
    // refCon() is the instance.
    OSStatus initInstance();
    void *refCon() const { return refCon_; }
    OSStatus send(OSType code, void *info) { return handler()(code, info, refCon_); }
    // "clr " for the instance, forgetting it.
    OSStatus cleanupInstance();

    // Status the host answers every call with.
    void setAnswer(OSStatus status) { answer_ = status; }
    // Optionally fills the record before returning (to test what the
    // wrappers copy back).
    void (*onCall)(OSType code, HostCallRecord *record) = nullptr;

    std::vector<HostCall> calls;
    std::vector<HostCall> callsWith(OSType code) const;

    // The proc and cookie handed to the bundle.
    static OSStatus Proc(void *cookie, OSType code, HostCallRecord *record);
    void *cookie() { return this; }

private:
    void *lookup(const char *name) const;
    void *dl_ = nullptr;
    PluginMainProcPtr entry_ = nullptr;
    void *refCon_ = nullptr;
    VisualPluginProcPtr handler_ = nullptr;
    OSStatus answer_ = noErr;
};

// Bytes of a record for byte-level comparisons.
inline std::vector<UInt8> Bytes(const void *p, size_t n)
{
    const UInt8 *b = static_cast<const UInt8 *>(p);
    return std::vector<UInt8>(b, b + n);
}

} // namespace qvtest
