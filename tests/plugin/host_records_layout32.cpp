// Compiled for a 32-bit target (-m32) only: the host records must have the
// original interface's offsets and sizes exactly there.
#include <cstddef>

#include "plugin/host_records.h"

static_assert(sizeof(void *) == 4, "this check is meant for a 32-bit target");

#define AT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
#define REC(message, field, offset) AT(HostCallRecord, u.message.field, offset)
#define SIZE(type, size) static_assert(sizeof(type) == (size), "sizeof " #type)

AT(PluginInitRecord, hostCookie, 8); AT(PluginInitRecord, hostProc, 12);
AT(VisualInitRecord, hostCookie, 12); AT(VisualInitRecord, hostProc, 16); AT(VisualInitRecord, refCon, 24);
AT(WindowRecord, port, 0); AT(WindowRecord, drawRect, 4);
SIZE(Rect, 8); AT(Rect, top, 0); AT(Rect, left, 2); AT(Rect, bottom, 4); AT(Rect, right, 6);
AT(Point, v, 0); AT(Point, h, 2); SIZE(RGBColor, 6); SIZE(NumVersion, 4);
AT(RenderMessageRecord, renderData, 0); SIZE(RenderData, 2050);
AT(RenderData, waveformData, 1); AT(RenderData, numSpectrumChannels, 1025); AT(RenderData, spectrumData, 1026);
AT(EventMessageRecord, event, 0); AT(EventRecord, what, 0); AT(EventRecord, message, 2);

SIZE(HostCallRecord, 124); SIZE(VisualRegistration, 112);
AT(HostCallRecord, majorVersion, 0); AT(HostCallRecord, minorVersion, 4); AT(HostCallRecord, recordSize, 8);
#define REG(field, offset) REC(registerVisualPluginMessage, field, offset)
REG(name, 12); REG(options, 76); REG(creator, 80); REG(pluginVersion, 84); REG(handler, 88);
REG(registerRefCon, 92); REG(timeBetweenDataMs, 96); REG(numWaveformChannels, 100); REG(numSpectrumChannels, 104);
REG(minWidth, 108); REG(minHeight, 110); REG(maxWidth, 112); REG(maxHeight, 114); REG(minFullScreenBitDepth, 116);
REG(maxFullScreenBitDepth, 118); REG(windowAlignmentInBytes, 120); REG(reserved, 122);

REC(setFullScreenMessage, fullScreen, 12);
REC(setFullScreenOptionsMessage, minBitDepth, 12); REC(setFullScreenOptionsMessage, maxBitDepth, 14);
REC(setFullScreenOptionsMessage, preferredBitDepth, 16); REC(setFullScreenOptionsMessage, desiredWidth, 18);
REC(setFullScreenOptionsMessage, desiredHeight, 20);
REC(getPluginDataMessage, dataPtr, 12); REC(getPluginDataMessage, dataBufferSize, 16);
REC(getPluginDataMessage, dataSize, 20);
REC(setPluginDataMessage, dataPtr, 12); REC(setPluginDataMessage, dataSize, 16);
REC(getPluginNamedDataMessage, dataName, 12); REC(getPluginNamedDataMessage, dataPtr, 16);
REC(getPluginNamedDataMessage, dataBufferSize, 20); REC(getPluginNamedDataMessage, dataSize, 24);
REC(setPluginNamedDataMessage, dataName, 12); REC(setPluginNamedDataMessage, dataPtr, 16);
REC(setPluginNamedDataMessage, dataSize, 20);
REC(openURLMessage, url, 12); REC(openURLMessage, length, 16); REC(setDeviceSerialNumberMessage, serialNumber, 12);
REC(handleMacOSEventMessage, theEvent, 12); REC(handleMacOSEventMessage, handled, 16);
REC(getPluginFileSpecMessage, fileSpec, 12);
