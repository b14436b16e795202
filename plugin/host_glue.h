/* Calls from the plug-in into the host: ITCallApplication and one wrapper per
 * host service. Each wrapper packs its arguments into a HostCallRecord in
 * automatic storage, names the service by its code and returns the host's
 * status unchanged. Pointers passed in are handed to the host untouched; the
 * wrappers never read what they point to. Called on the host's thread only. */
#ifndef QV_PLUGIN_HOSTGLUE_H
#define QV_PLUGIN_HOSTGLUE_H

#include "platform/export.h"
#include "plugin/host_records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Stamps the header (10, 1, size) on `record` (or on a zeroed record of its
 * own when `record` is null) and calls hostProc. */
QV_EXPORT OSStatus ITCallApplication(void *hostCookie, PlayerProcPtr hostProc, OSType code, HostCallRecord *record);

QV_EXPORT OSStatus PlayerSetFullScreen(void *hostCookie, PlayerProcPtr hostProc, Boolean fullScreen);
QV_EXPORT OSStatus PlayerSetFullScreenOptions(void *hostCookie, PlayerProcPtr hostProc, SInt16 minBitDepth,
                                              SInt16 maxBitDepth, SInt16 preferredBitDepth, SInt16 desiredWidth,
                                              SInt16 desiredHeight);
/* *dataSize (when not null) receives the size the host reports, whatever the status. */
QV_EXPORT OSStatus PlayerGetPluginData(void *hostCookie, PlayerProcPtr hostProc, void *dataPtr, UInt32 dataBufferSize,
                                       UInt32 *dataSize);
QV_EXPORT OSStatus PlayerSetPluginData(void *hostCookie, PlayerProcPtr hostProc, void *dataPtr, UInt32 dataSize);
QV_EXPORT OSStatus PlayerGetPluginNamedData(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr dataName,
                                            void *dataPtr, UInt32 dataBufferSize, UInt32 *dataSize);
QV_EXPORT OSStatus PlayerSetPluginNamedData(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr dataName,
                                            void *dataPtr, UInt32 dataSize);
QV_EXPORT OSStatus PlayerIdle(void *hostCookie, PlayerProcPtr hostProc);
QV_EXPORT void PlayerShowAbout(void *hostCookie, PlayerProcPtr hostProc);
QV_EXPORT void PlayerOpenURL(void *hostCookie, PlayerProcPtr hostProc, const char *url, UInt32 length);
/* The three pass-through wrappers rewrite only the header of the caller's record. */
QV_EXPORT OSStatus PlayerUnregisterPlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record);
QV_EXPORT OSStatus PlayerRegisterVisualPlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record);
QV_EXPORT OSStatus PlayerRegisterDevicePlugin(void *hostCookie, PlayerProcPtr hostProc, HostCallRecord *record);
QV_EXPORT OSStatus PlayerSetDeviceSerialNumber(void *hostCookie, PlayerProcPtr hostProc, ConstStringPtr serialNumber);
/* *handled (when not null) receives the host's answer, whatever the status. */
QV_EXPORT OSStatus PlayerHandleMacOSEvent(void *hostCookie, PlayerProcPtr hostProc, const EventRecord *theEvent,
                                          Boolean *handled);
QV_EXPORT OSStatus PlayerGetPluginFileSpec(void *hostCookie, PlayerProcPtr hostProc, void *fileSpec);

#ifdef __cplusplus
}
#endif

#endif
