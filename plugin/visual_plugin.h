/* The visual plug-in's handler and its registration. */
#ifndef QV_PLUGIN_VISUALPLUGIN_H
#define QV_PLUGIN_VISUALPLUGIN_H

#include "platform/export.h"
#include "plugin/host_records.h"

/* Builds the registration record and hands it to the host ("rvis"). Returns
 * the host's status unchanged. `initRecord` must be non-null. */
OSStatus RegisterVisualPlugin(const PluginInitRecord *initRecord);

/* The message handler registered with the host. `messageInfo` points at the
 * record of the message (VisualPluginMessageInfo); `refCon` is the instance
 * state returned on "init". Never lets an exception out. */
QV_EXTERN_C OSStatus VisualPluginHandler(OSType code, void *messageInfo, void *refCon);

/* The bundle's entry point. */
QV_EXTERN_C QV_EXPORT OSStatus iTunesPluginMainMachO(OSType code, PluginInitRecord *record, void *refCon);

#endif
