/* Basic types and QuickDraw records of the operating system the bundle was
 * written for, in their original field order and widths. Plain C: the host
 * program, the bundle and C users of the drawing library all include it. */
#ifndef QV_PLATFORM_MACTYPES_H
#define QV_PLATFORM_MACTYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef unsigned char Boolean; /* 8-bit, 0 false, anything else true */

typedef UInt32 OSType;   /* four-character code, first character in the top byte */
typedef SInt32 OSStatus; /* 0 success, negative failure */
typedef SInt16 OSErr;

typedef char *Ptr;
typedef Ptr *Handle;
typedef unsigned char Str255[256]; /* length byte, then up to 255 characters */
typedef const unsigned char *ConstStringPtr;

enum {
    noErr = 0,
    unimpErr = -4,  /* request not handled by the receiver */
    paramErr = -50, /* a parameter (often a record pointer) was missing or invalid */
    memFullErr = -108
};

/* Builds a four-character code: QV_FOUR_CC('s','h','o','w') == 0x73686F77. */
#define QV_FOUR_CC(a, b, c, d)                                                                                         \
    (((OSType)(UInt8)(a) << 24) | ((OSType)(UInt8)(b) << 16) | ((OSType)(UInt8)(c) << 8) | (OSType)(UInt8)(d))

/* Half-open rectangle: covers left <= h < right, top <= v < bottom. */
typedef struct Rect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
} Rect;

typedef struct Point {
    SInt16 v;
    SInt16 h;
} Point;

/* Channels 0 (none) to 65535 (full). */
typedef struct RGBColor {
    UInt16 red;
    UInt16 green;
    UInt16 blue;
} RGBColor;

/* The 4-byte version record: major revision, minor revision with its fix
 * level (one nibble each), release stage (0x80 final), non-release revision. */
typedef struct NumVersion {
    UInt8 majorRev;
    UInt8 minorAndBugRev;
    UInt8 stage;
    UInt8 nonRelRev;
} NumVersion;

enum { developStage = 0x20, alphaStage = 0x40, betaStage = 0x60, finalStage = 0x80 };

/* Event record, laid out with 2-byte alignment as the original system did:
 * `what` at 0, `message` at 2 (for key events its low byte is the character). */
#pragma pack(push, 2)
typedef struct EventRecord {
    UInt16 what;
    UInt32 message;
    UInt32 when;
    Point where;
    UInt16 modifiers;
} EventRecord;
#pragma pack(pop)

enum { nullEvent = 0, mouseDown = 1, mouseUp = 2, keyDown = 3, keyUp = 4, autoKey = 5 };

#ifdef __cplusplus
}
#endif

#endif
