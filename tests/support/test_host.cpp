#include "support/test_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace qvtest {

TestHost::TestHost()
{
    const char *path = std::getenv("QV_BUNDLE");
    if (path == nullptr) {
        ADD_FAILURE() << "QV_BUNDLE is not set (run the tests through ctest)";
        return;
    }
    dl_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (dl_ == nullptr) {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        return;
    }
    entry_ = reinterpret_cast<PluginMainProcPtr>(dlsym(dl_, "iTunesPluginMainMachO"));
    if (entry_ == nullptr)
        ADD_FAILURE() << path << " has no entry point";
}

TestHost::~TestHost()
{
    if (refCon_ != nullptr)
        cleanupInstance();
    if (dl_ != nullptr)
        dlclose(dl_);
}

void *TestHost::lookup(const char *name) const
{
    return dl_ ? dlsym(dl_, name) : nullptr;
}

OSStatus TestHost::Proc(void *cookie, OSType code, HostCallRecord *record)
{
    TestHost *self = static_cast<TestHost *>(cookie);
    HostCall call{};
    call.code = code;
    call.hadRecord = record != nullptr;
    if (record != nullptr) {
        if (self->onCall)
            self->onCall(code, record);
        std::memcpy(&call.record, record, sizeof call.record);
        if (code == kPlayerRegisterVisualPluginMessage)
            self->handler_ = record->u.registerVisualPluginMessage.handler;
    }
    self->calls.push_back(call);
    return self->answer_;
}

OSStatus TestHost::initModule()
{
    PluginInitRecord rec{};
    rec.hostCookie = this;
    rec.hostProc = &TestHost::Proc;
    return entry_(kPluginInitMessage, &rec, nullptr);
}

OSStatus TestHost::initInstance()
{
    VisualInitRecord rec{};
    rec.hostCookie = this;
    rec.hostProc = &TestHost::Proc;
    OSStatus status = handler()(kPluginInitMessage, &rec, nullptr);
    if (status == noErr)
        refCon_ = rec.refCon;
    return status;
}

OSStatus TestHost::cleanupInstance()
{
    OSStatus status = handler()(kPluginCleanupMessage, nullptr, refCon_);
    refCon_ = nullptr;
    return status;
}

std::vector<HostCall> TestHost::callsWith(OSType code) const
{
    std::vector<HostCall> out;
    for (const HostCall &c : calls)
        if (c.code == code)
            out.push_back(c);
    return out;
}

} // namespace qvtest
