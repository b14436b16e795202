#include "plugin/host_glue.h"

#include "plugin/memory_routines.h"

namespace {

// A record in automatic storage with its whole body cleared.
struct ClearedRecord {
    HostCallRecord rec;
    ClearedRecord() { MemClear(&rec, static_cast<SInt32>(sizeof rec)); }
};

} // namespace

extern "C" OSStatus ITCallApplication(void *hostCookie, PlayerProcPtr hostProc, OSType code, HostCallRecord *record)
{
    HostCallRecord local;
    if (record == nullptr) {
        MemClear(&local, static_cast<SInt32>(sizeof local));
        record = &local;
    }
    record->majorVersion = kHostCallRecordMajorVersion;
    record->minorVersion = kHostCallRecordMinorVersion;
    record->recordSize = sizeof(HostCallRecord);
    return hostProc(hostCookie, code, record);
}

extern "C" OSStatus PlayerSetFullScreen(void *hostCookie, PlayerProcPtr hostProc, Boolean fullScreen)
{
    ClearedRecord r;
    r.rec.u.setFullScreenMessage.fullScreen = fullScreen;
    return ITCallApplication(hostCookie, hostProc, kPlayerSetFullScreenMessage, &r.rec);
}

extern "C" OSStatus PlayerSetFullScreenOptions(void *hostCookie, PlayerProcPtr hostProc, SInt16 minBitDepth,
                                               SInt16 maxBitDepth, SInt16 preferredBitDepth, SInt16 desiredWidth,
                                               SInt16 desiredHeight)
{
    ClearedRecord r;
    SetFullScreenOptionsMessage &m = r.rec.u.setFullScreenOptionsMessage;
    m.minBitDepth = minBitDepth;
    m.maxBitDepth = maxBitDepth;
    m.preferredBitDepth = preferredBitDepth;
    m.desiredWidth = desiredWidth;
    m.desiredHeight = desiredHeight;
    return ITCallApplication(hostCookie, hostProc, kPlayerSetFullScreenOptionsMessage, &r.rec);
}

extern "C" OSStatus PlayerGetPluginData(void *hostCookie, PlayerProcPtr hostProc, void *dataPtr, UInt32 dataBufferSize,
                                        UInt32 *dataSize)
{
    ClearedRecord r;
    r.rec.u.getPluginDataMessage.dataPtr = dataPtr;
    r.rec.u.getPluginDataMessage.dataBufferSize = dataBufferSize;
    OSStatus status = ITCallApplication(hostCookie, hostProc, kPlayerGetPluginDataMessage, &r.rec);
    if (dataSize != nullptr)
        *dataSize = r.rec.u.getPluginDataMessage.dataSize;
    return status;
}

extern "C" OSStatus PlayerSetPluginData(void *hostCookie, PlayerProcPtr hostProc, void *dataPtr, UInt32 dataSize)
{
    ClearedRecord r;
    r.rec.u.setPluginDataMessage.dataPtr = dataPtr;
    r.rec.u.setPluginDataMessage.dataSize = dataSize;
    return ITCallApplication(hostCookie, hostProc, kPlayerSetPluginDataMessage, &r.rec);
}

extern "C" OSStatus PlayerGetPluginNamedData(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr dataName,
                                             void *dataPtr, UInt32 dataBufferSize, UInt32 *dataSize)
{
    ClearedRecord r;
    GetPluginNamedDataMessage &m = r.rec.u.getPluginNamedDataMessage;
    m.dataName = dataName;
    m.dataPtr = dataPtr;
    m.dataBufferSize = dataBufferSize;
    OSStatus status = ITCallApplication(hostCookie, hostProc, kPlayerGetPluginNamedDataMessage, &r.rec);
    if (dataSize != nullptr)
        *dataSize = m.dataSize;
    return status;
}

extern "C" OSStatus PlayerSetPluginNamedData(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr dataName,
                                             void *dataPtr, UInt32 dataSize)
{
    ClearedRecord r;
    SetPluginNamedDataMessage &m = r.rec.u.setPluginNamedDataMessage;
    m.dataName = dataName;
    m.dataPtr = dataPtr;
    m.dataSize = dataSize;
    return ITCallApplication(hostCookie, hostProc, kPlayerSetPluginNamedDataMessage, &r.rec);
}

extern "C" OSStatus PlayerIdle(void *hostCookie, PlayerProcPtr hostProc)
{
    return ITCallApplication(hostCookie, hostProc, kPlayerIdleMessage, nullptr);
}

extern "C" void PlayerShowAbout(void *hostCookie, PlayerProcPtr hostProc)
{
    ITCallApplication(hostCookie, hostProc, kPlayerShowAboutMessage, nullptr);
}

extern "C" void PlayerOpenURL(void *hostCookie, PlayerProcPtr hostProc, const char *url, UInt32 length)
{
    ClearedRecord r;
    r.rec.u.openURLMessage.url = url;
    r.rec.u.openURLMessage.length = length;
    ITCallApplication(hostCookie, hostProc, kPlayerOpenURLMessage, &r.rec);
}

extern "C" OSStatus PlayerUnregisterPlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record)
{
    return ITCallApplication(hostCookie, hostProc, kPlayerUnregisterPluginMessage, record);
}

extern "C" OSStatus PlayerRegisterVisualPlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record)
{
    return ITCallApplication(hostCookie, hostProc, kPlayerRegisterVisualPluginMessage, record);
}

extern "C" OSStatus PlayerRegisterDevicePlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record)
{
    return ITCallApplication(hostCookie, hostProc, kPlayerRegisterDevicePluginMessage, record);
}

extern "C" OSStatus PlayerSetDeviceSerialNumber(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr serialNumber)
{
    ClearedRecord r;
    r.rec.u.setDeviceSerialNumberMessage.serialNumber = serialNumber;
    return ITCallApplication(hostCookie, hostProc, kPlayerSetDeviceSerialNumberMessage, &r.rec);
}

extern "C" OSStatus PlayerHandleMacOSEvent(void *hostCookie, PlayerProcPtr hostProc, const EventRecord *theEvent,
                                           Boolean *handled)
{
    ClearedRecord r;
    r.rec.u.handleMacOSEventMessage.theEvent = theEvent;
    OSStatus status = ITCallApplication(hostCookie, hostProc, kPlayerHandleMacOSEventMessage, &r.rec);
    if (handled != nullptr)
        *handled = r.rec.u.handleMacOSEventMessage.handled;
    return status;
}

extern "C" OSStatus PlayerGetPluginFileSpec(void *hostCookie, PlayerProcPtr hostProc, void *fileSpec)
{
    ClearedRecord r;
    r.rec.u.getPluginFileSpecMessage.fileSpec = fileSpec;
    return ITCallApplication(hostCookie, hostProc, kPlayerGetPluginFileSpecMessage, &r.rec);
}
