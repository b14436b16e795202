// Compiled for a 32-bit target (-m32) only: the host records must have the
// original interface's offsets and sizes exactly there.
#include <cstddef>

#include "plugin/HostRecords.h"

static_assert(sizeof(void *) == 4, "this check is meant for a 32-bit target");

#define AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
#define REC(field, offset) static_assert(offsetof(HostCallRecord, field) == (offset), "HostCallRecord." #field)

AT(PluginInitRecord, hostCookie, 8);
AT(PluginInitRecord, hostProc, 12);

AT(VisualInitRecord, hostCookie, 12);
AT(VisualInitRecord, hostProc, 16);
AT(VisualInitRecord, refCon, 24);

AT(WindowRecord, port, 0);
AT(WindowRecord, drawRect, 4);
static_assert(sizeof(Rect) == 8, "Rect");
AT(Rect, top, 0);
AT(Rect, left, 2);
AT(Rect, bottom, 4);
AT(Rect, right, 6);
AT(Point, v, 0);
AT(Point, h, 2);
static_assert(sizeof(RGBColor) == 6, "RGBColor");
static_assert(sizeof(NumVersion) == 4, "NumVersion");

AT(RenderMessageRecord, renderData, 0);
AT(RenderData, numWaveformChannels, 0);
AT(RenderData, waveformData, 1);
AT(RenderData, numSpectrumChannels, 1025);
AT(RenderData, spectrumData, 1026);
static_assert(sizeof(RenderData) == 2050, "RenderData");

AT(EventMessageRecord, event, 0);
AT(EventRecord, what, 0);
AT(EventRecord, message, 2);

REC(majorVersion, 0);
REC(minorVersion, 4);
REC(recordSize, 8);
REC(u, 12);
static_assert(sizeof(HostCallRecord) == 124, "HostCallRecord is 124 bytes");

REC(u.registerVisualPluginMessage.name, 12);
REC(u.registerVisualPluginMessage.options, 76);
REC(u.registerVisualPluginMessage.creator, 80);
REC(u.registerVisualPluginMessage.pluginVersion, 84);
REC(u.registerVisualPluginMessage.handler, 88);
REC(u.registerVisualPluginMessage.registerRefCon, 92);
REC(u.registerVisualPluginMessage.timeBetweenDataMs, 96);
REC(u.registerVisualPluginMessage.numWaveformChannels, 100);
REC(u.registerVisualPluginMessage.numSpectrumChannels, 104);
REC(u.registerVisualPluginMessage.minWidth, 108);
REC(u.registerVisualPluginMessage.minHeight, 110);
REC(u.registerVisualPluginMessage.maxWidth, 112);
REC(u.registerVisualPluginMessage.maxHeight, 114);
REC(u.registerVisualPluginMessage.minFullScreenBitDepth, 116);
REC(u.registerVisualPluginMessage.maxFullScreenBitDepth, 118);
REC(u.registerVisualPluginMessage.windowAlignmentInBytes, 120);
REC(u.registerVisualPluginMessage.reserved, 122);
static_assert(sizeof(VisualRegistration) == 112, "VisualRegistration fills the payload");

REC(u.setFullScreenMessage.fullScreen, 12);
REC(u.setFullScreenOptionsMessage.minBitDepth, 12);
REC(u.setFullScreenOptionsMessage.maxBitDepth, 14);
REC(u.setFullScreenOptionsMessage.preferredBitDepth, 16);
REC(u.setFullScreenOptionsMessage.desiredWidth, 18);
REC(u.setFullScreenOptionsMessage.desiredHeight, 20);
REC(u.getPluginDataMessage.dataPtr, 12);
REC(u.getPluginDataMessage.dataBufferSize, 16);
REC(u.getPluginDataMessage.dataSize, 20);
REC(u.setPluginDataMessage.dataPtr, 12);
REC(u.setPluginDataMessage.dataSize, 16);
REC(u.getPluginNamedDataMessage.dataName, 12);
REC(u.getPluginNamedDataMessage.dataPtr, 16);
REC(u.getPluginNamedDataMessage.dataBufferSize, 20);
REC(u.getPluginNamedDataMessage.dataSize, 24);
REC(u.setPluginNamedDataMessage.dataName, 12);
REC(u.setPluginNamedDataMessage.dataPtr, 16);
REC(u.setPluginNamedDataMessage.dataSize, 20);
REC(u.openURLMessage.url, 12);
REC(u.openURLMessage.length, 16);
REC(u.setDeviceSerialNumberMessage.serialNumber, 12);
REC(u.handleMacOSEventMessage.theEvent, 12);
REC(u.handleMacOSEventMessage.handled, 16);
REC(u.getPluginFileSpecMessage.fileSpec, 12);
