/* Records passed between the player host and the visual plug-in bundle.
 *
 * C structs in the field order and widths of the original interface. On its
 * machine, 32-bit big-endian PowerPC, every offset and byte below is exact
 * (the cross build's tests compare the bytes). On x86-64 the records keep
 * native byte order and pointer-sized fields: the pointers widen, the offsets
 * after them move, and the real size of HostCallRecord is stamped into its
 * header. Four-character codes are 32-bit values with the first character in
 * the top byte.
 *
 * Ownership: every record is owned by whoever passes it and lives only for the
 * duration of the call; the receiver copies what it needs before returning. */
#ifndef QV_PLUGIN_HOSTRECORDS_H
#define QV_PLUGIN_HOSTRECORDS_H

#include "platform/mac_types.h"
#include "platform/qd_port.h"

#ifdef __cplusplus
extern "C" {
#endif

struct HostCallRecord;

/* The host's callback procedure: every call from the plug-in into the host.
 * `record` may be read and written by the host during the call only. */
typedef OSStatus (*PlayerProcPtr)(void *hostCookie, OSType code, struct HostCallRecord *record);

/* The handler registered by the plug-in. `messageInfo` points at the record of
 * the message (a VisualPluginMessageInfo), `refCon` is the instance pointer the
 * handler returned on "init". */
typedef OSStatus (*VisualPluginProcPtr)(OSType code, void *messageInfo, void *refCon);

/* Module "init" record: sent to the bundle's entry point. */
typedef struct PluginInitRecord {
    UInt32 hostMajorVersion; /* +0, not read by the plug-in */
    UInt32 hostMinorVersion; /* +4, not read */
    void *hostCookie;        /* +8 */
    PlayerProcPtr hostProc;  /* +12 */
    UInt32 options;          /* +16, not read */
} PluginInitRecord;

/* Handler "init" record. The plug-in writes its instance pointer into
 * `refCon`; the host passes it back with every later message. */
typedef struct VisualInitRecord {
    UInt32 hostMajorVersion; /* +0, not read */
    UInt32 hostMinorVersion; /* +4, not read */
    UInt32 instanceOptions;  /* +8, not read */
    void *hostCookie;        /* +12 */
    PlayerProcPtr hostProc;  /* +16 */
    UInt32 reserved;         /* +20, not read */
    void *refCon;            /* +24, written by the plug-in */
} VisualInitRecord;

/* "show" and "swin": the port and the rectangle of it to draw into, in the
 * port's local pixels (y grows down). "swin" reads only the rectangle. */
typedef struct WindowRecord {
    CGrafPtr port; /* +0 */
    Rect drawRect; /* +4 */
} WindowRecord;

enum { kVisualNumWaveformEntries = 512, kVisualNumSpectrumEntries = 512, kVisualMaxDataChannels = 2 };

/* Audio of one render message. The spectrum bytes are magnitudes, 0 silent to
 * 255 loud, low frequencies first; the waveform bytes are samples centred on 128. */
typedef struct RenderData {
    UInt8 numWaveformChannels;                                             /* +0 */
    UInt8 waveformData[kVisualMaxDataChannels][kVisualNumWaveformEntries]; /* +1 */
    UInt8 numSpectrumChannels;                                             /* +1025 */
    UInt8 spectrumData[kVisualMaxDataChannels][kVisualNumSpectrumEntries]; /* +1026 */
} RenderData;

/* "vrnd": the render data of the frame. Always non-null from a well-behaved host. */
typedef struct RenderMessageRecord {
    RenderData *renderData; /* +0 */
} RenderMessageRecord;

/* "vevt": an event offered to the plug-in. */
typedef struct EventMessageRecord {
    EventRecord *event; /* +0 */
} EventMessageRecord;

/* What the handler's messageInfo points at, by message code. */
typedef union VisualPluginMessageInfo {
    VisualInitRecord initMessage;      /* "init" */
    WindowRecord windowMessage;        /* "show", "swin" */
    RenderMessageRecord renderMessage; /* "vrnd" */
    EventMessageRecord eventMessage;   /* "vevt" */
} VisualPluginMessageInfo;

/* timeBetweenDataMs of a plug-in that takes data as often as it comes. */
#define kVisualNoDataInterval 0xFFFFFFFFu

/* The registration of the visual plug-in, payload of "rvis". */
typedef struct VisualRegistration {
    unsigned char name[64];        /* +12: length byte, then up to 63 characters */
    UInt32 options;                /* +76: bit 3 asks for idle ("null") messages */
    OSType creator;                /* +80 */
    NumVersion pluginVersion;      /* +84 */
    VisualPluginProcPtr handler;   /* +88 */
    void *registerRefCon;          /* +92 */
    UInt32 timeBetweenDataMs;      /* +96: kVisualNoDataInterval (or 0) asks for no minimum */
    UInt32 numWaveformChannels;    /* +100 */
    UInt32 numSpectrumChannels;    /* +104 */
    SInt16 minWidth;               /* +108 */
    SInt16 minHeight;              /* +110 */
    SInt16 maxWidth;               /* +112 */
    SInt16 maxHeight;              /* +114 */
    UInt16 minFullScreenBitDepth;  /* +116 */
    UInt16 maxFullScreenBitDepth;  /* +118 */
    UInt16 windowAlignmentInBytes; /* +120 */
    UInt16 reserved;               /* +122 */
} VisualRegistration;

enum { kVisualWantsIdleMessages = 1u << 3 };

/* Payloads of the host services (offsets from the start of HostCallRecord). */
typedef struct SetFullScreenMessage {
    Boolean fullScreen; /* +12 */
} SetFullScreenMessage;

typedef struct SetFullScreenOptionsMessage {
    SInt16 minBitDepth;       /* +12 */
    SInt16 maxBitDepth;       /* +14 */
    SInt16 preferredBitDepth; /* +16 */
    SInt16 desiredWidth;      /* +18 */
    SInt16 desiredHeight;     /* +20 */
} SetFullScreenOptionsMessage;

typedef struct GetPluginDataMessage {
    void *dataPtr;         /* +12: the caller's buffer; the host writes into it */
    UInt32 dataBufferSize; /* +16 */
    UInt32 dataSize;       /* +20: written by the host */
} GetPluginDataMessage;

typedef struct SetPluginDataMessage {
    void *dataPtr;   /* +12: read by the host during the call */
    UInt32 dataSize; /* +16 */
} SetPluginDataMessage;

typedef struct GetPluginNamedDataMessage {
    ConstStringPtr dataName; /* +12: length-prefixed name */
    void *dataPtr;           /* +16 */
    UInt32 dataBufferSize;   /* +20 */
    UInt32 dataSize;         /* +24: written by the host */
} GetPluginNamedDataMessage;

typedef struct SetPluginNamedDataMessage {
    ConstStringPtr dataName; /* +12 */
    void *dataPtr;           /* +16 */
    UInt32 dataSize;         /* +20 */
} SetPluginNamedDataMessage;

typedef struct OpenURLMessage {
    const char *url; /* +12: characters, not terminated */
    UInt32 length;   /* +16 */
} OpenURLMessage;

typedef struct SetDeviceSerialNumberMessage {
    ConstStringPtr serialNumber; /* +12 */
} SetDeviceSerialNumberMessage;

typedef struct HandleMacOSEventMessage {
    const EventRecord *theEvent; /* +12 */
    Boolean handled;             /* +16: written by the host */
} HandleMacOSEventMessage;

typedef struct GetPluginFileSpecMessage {
    void *fileSpec; /* +12: the caller's record, filled by the host */
} GetPluginFileSpecMessage;

enum { kHostCallRecordMajorVersion = 10, kHostCallRecordMinorVersion = 1 };

/* Every call into the host carries one of these; the header is stamped by
 * ITCallApplication. 124 bytes on a 32-bit target. */
typedef struct HostCallRecord {
    UInt32 majorVersion; /* +0: 10 */
    UInt32 minorVersion; /* +4: 1 */
    UInt32 recordSize;   /* +8: sizeof(HostCallRecord) */
    union {
        VisualRegistration registerVisualPluginMessage;
        SetFullScreenMessage setFullScreenMessage;
        SetFullScreenOptionsMessage setFullScreenOptionsMessage;
        GetPluginDataMessage getPluginDataMessage;
        SetPluginDataMessage setPluginDataMessage;
        GetPluginNamedDataMessage getPluginNamedDataMessage;
        SetPluginNamedDataMessage setPluginNamedDataMessage;
        OpenURLMessage openURLMessage;
        SetDeviceSerialNumberMessage setDeviceSerialNumberMessage;
        HandleMacOSEventMessage handleMacOSEventMessage;
        GetPluginFileSpecMessage getPluginFileSpecMessage;
        UInt8 raw[112];
    } u;
} HostCallRecord;

/* Message codes. */
enum {
    kPluginInitMessage = QV_FOUR_CC('i', 'n', 'i', 't'),
    kPluginCleanupMessage = QV_FOUR_CC('c', 'l', 'r', ' '),

    kVisualPluginShowWindowMessage = QV_FOUR_CC('s', 'h', 'o', 'w'),
    kVisualPluginSetWindowMessage = QV_FOUR_CC('s', 'w', 'i', 'n'),
    kVisualPluginRenderMessage = QV_FOUR_CC('v', 'r', 'n', 'd'),
    kVisualPluginIdleMessage = QV_FOUR_CC('n', 'u', 'l', 'l'),
    kVisualPluginHideWindowMessage = QV_FOUR_CC('h', 'i', 'd', 'e'),
    kVisualPluginEventMessage = QV_FOUR_CC('v', 'e', 'v', 't'),
    kPluginConfigureMessage = QV_FOUR_CC('c', 'n', 'f', 'g'),
    kVisualPluginChangeTrackMessage = QV_FOUR_CC('c', 't', 'r', 'k'),
    kVisualPluginSetPositionMessage = QV_FOUR_CC('s', 'e', 't', 'p'),
    kVisualPluginPlayMessage = QV_FOUR_CC('v', 'p', 'l', 'y'),
    kVisualPluginStopMessage = QV_FOUR_CC('v', 's', 't', 'p'),
    kVisualPluginPauseMessage = QV_FOUR_CC('v', 'p', 'a', 'u'),
    kVisualPluginUnpauseMessage = QV_FOUR_CC('v', 'u', 'n', 'p'),
    kVisualPluginEnableMessage = QV_FOUR_CC('v', 'o', 'n', ' '),
    kVisualPluginDisableMessage = QV_FOUR_CC('v', 'o', 'f', 'f'),
    kVisualPluginUpdateMessage = QV_FOUR_CC('v', 'u', 'p', 'd'),

    kPlayerSetFullScreenMessage = QV_FOUR_CC('s', 'f', 'u', 'l'),
    kPlayerSetFullScreenOptionsMessage = QV_FOUR_CC('s', 'f', 'o', 'p'),
    kPlayerGetPluginDataMessage = QV_FOUR_CC('g', 'p', 'r', 'f'),
    kPlayerSetPluginDataMessage = QV_FOUR_CC('s', 'p', 'r', 'f'),
    kPlayerGetPluginNamedDataMessage = QV_FOUR_CC('g', 'n', 'p', 'r'),
    kPlayerSetPluginNamedDataMessage = QV_FOUR_CC('s', 'n', 'p', 'r'),
    kPlayerIdleMessage = QV_FOUR_CC('i', 'd', 'l', 'e'),
    kPlayerShowAboutMessage = QV_FOUR_CC('a', 'b', 'o', 'u'),
    kPlayerOpenURLMessage = QV_FOUR_CC('u', 'r', 'l', ' '),
    kPlayerUnregisterPluginMessage = QV_FOUR_CC('u', 'n', 'r', 'g'),
    kPlayerRegisterVisualPluginMessage = QV_FOUR_CC('r', 'v', 'i', 's'),
    kPlayerRegisterDevicePluginMessage = QV_FOUR_CC('r', 'd', 'e', 'v'),
    kPlayerSetDeviceSerialNumberMessage = QV_FOUR_CC('d', 'v', 's', 'n'),
    kPlayerHandleMacOSEventMessage = QV_FOUR_CC('e', 'v', 'n', 't'),
    kPlayerGetPluginFileSpecMessage = QV_FOUR_CC('p', 's', 'p', 'c')
};

/* The bundle's one exported entry point (symbol "iTunesPluginMainMachO").
 * `record` is a PluginInitRecord for "init"; `refCon` is never read. */
typedef OSStatus (*PluginMainProcPtr)(OSType code, PluginInitRecord *record, void *refCon);

#ifdef __cplusplus
}
#endif

#endif
