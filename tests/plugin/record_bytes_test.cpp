// The records between host and bundle as bytes. On the bundle's own kind of machine (32-bit, big-endian) each
// record is its image in the original interface: every field at its offset there, multi-byte values big-endian,
// every other byte 0. On x86-64 the same fields lie at their native offsets (pointers widen) in native byte order,
// and every other byte, padding included, is 0 as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin/host_glue.h"
#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

namespace {

constexpr bool kOriginal = sizeof(void *) == 4 && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
static_assert(kOriginal || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "native images are written little-endian");

using Bytes = std::vector<UInt8>;
constexpr size_t kCallRecordSize = 124;

struct Field {
    const char *name;
    size_t native, original, width; // width 0: `text`, bytes as they stand
    unsigned long long value;
    std::string text;
};
#define FIELD(Rec, member, offset, v)                                                                                  \
    Field{#member, offsetof(Rec, member), offset, sizeof(static_cast<Rec *>(nullptr)->member),                         \
          static_cast<unsigned long long>(v), {}}
#define TEXT(Rec, member, offset, bytes)                                                                               \
    Field{#member, offsetof(Rec, member), offset, 0, 0, std::string(bytes, sizeof bytes - 1)}
#define CALL(member, offset, v) FIELD(HostCallRecord, u.member, offset, v)

// The record as the fields describe it, everything else 0; `covered` marks the fields' bytes.
Bytes Image(size_t size, const std::vector<Field> &fields, std::vector<bool> *covered)
{
    Bytes image(size, 0);
    covered->assign(size, false);
    for (const Field &f : fields) {
        const size_t at = kOriginal ? f.original : f.native, width = f.width ? f.width : f.text.size();
        std::copy(f.text.begin(), f.text.end(), image.begin() + long(at));
        for (size_t i = 0; i < f.width; ++i) // byte i from the most significant
            image[at + (kOriginal ? i : f.width - 1 - i)] = UInt8(f.value >> 8 * (f.width - 1 - i));
        std::fill(covered->begin() + long(at), covered->begin() + long(at + width), true);
    }
    return image;
}

template <typename Record> Bytes BytesOf(const Record &record)
{
    const UInt8 *p = reinterpret_cast<const UInt8 *>(&record);
    return Bytes(p, p + sizeof record);
}

// Leaves a pattern where the next call's automatic records will lie.
__attribute__((noinline)) void DirtyStack()
{
    volatile UInt8 junk[4096];
    for (volatile UInt8 &b : junk)
        b = 0xA5;
}

// What the bundle under test sends to the test host with `call` (its exported wrappers called as the bundle would).
#define SENT(code, call) [&] { return sent(FourCC(code), [&] { call; }); }
#define WRAPPER(name, ...) reinterpret_cast<decltype(&name)>(host.symbol(#name))(&host, TestHost::Proc, ##__VA_ARGS__)
#define REGISTRATION(member, offset, v) CALL(registerVisualPluginMessage.member, offset, v)

// Each row: the record's bytes as the host sees them or the bundle reads them, its size on the original machine,
// and its fields. The bundle's records are the call records it sends; the others are made up here as the host
// would, so on x86-64 their padding holds whatever it held and only their fields are compared.
TEST(RecordBytes, EachRecordIsItsImageInTheInterface)
{
    TestHost host;
    const auto sent = [&host](OSType code, const std::function<void()> &call) {
        host.calls.clear();
        call();
        EXPECT_TRUE(host.calls.size() == 1 && host.calls[0].code == code) << "one call with its code";
        return host.calls.empty() ? Bytes{} : BytesOf(host.calls.back().record);
    };
    const auto call = [](std::vector<Field> payload) {
        payload.insert(payload.begin(), {FIELD(HostCallRecord, majorVersion, 0, 10),
                                         FIELD(HostCallRecord, minorVersion, 4, 1),
                                         FIELD(HostCallRecord, recordSize, 8, sizeof(HostCallRecord))});
        return payload;
    };
    char buffer[8];
    const unsigned char name[] = "\x04name";
    const char *url = "http://x";
    const EventRecord event{keyDown, 0x126D, 0x01020304, {5, 6}, 0x0100}; // key 'm', key code 0x12
    const Bytes registration = sent(FourCC("rvis"), [&] { DirtyStack(), host.initModule(); });
    RenderData data{};
    data.numWaveformChannels = data.numSpectrumChannels = 2;
    data.spectrumData[0][0] = 0x11, data.spectrumData[1][511] = 0x22;
    const struct {
        const char *what;
        std::function<Bytes()> got;
        size_t originalSize;
        std::vector<Field> fields;
    } rows[] = {
        {"rvis: the registration, sent from a stack full of old bytes", [&] { return registration; }, kCallRecordSize,
         call({TEXT(HostCallRecord, u.registerVisualPluginMessage.name, 12, "\x09Quorvanta"),
               REGISTRATION(options, 76, 8), REGISTRATION(creator, 80, FourCC("hook")),
               TEXT(HostCallRecord, u.registerVisualPluginMessage.pluginVersion, 84, "\x01\x00\x80\x00"),
               REGISTRATION(handler, 88, uintptr_t(host.handler)), REGISTRATION(timeBetweenDataMs, 96, 0xFFFFFFFF),
               REGISTRATION(numWaveformChannels, 100, 2), REGISTRATION(numSpectrumChannels, 104, 2),
               REGISTRATION(maxWidth, 112, 32767), REGISTRATION(maxHeight, 114, 32767)})},
        {"sfop: the handler's preset on init", SENT("sfop", host.initInstance()), kCallRecordSize,
         call({CALL(setFullScreenOptionsMessage.minBitDepth, 12, 24),
               CALL(setFullScreenOptionsMessage.maxBitDepth, 14, 32),
               CALL(setFullScreenOptionsMessage.preferredBitDepth, 16, 32),
               CALL(setFullScreenOptionsMessage.desiredWidth, 18, 1024),
               CALL(setFullScreenOptionsMessage.desiredHeight, 20, 768)})},
        {"sful", SENT("sful", WRAPPER(PlayerSetFullScreen, 1)), kCallRecordSize,
         call({CALL(setFullScreenMessage.fullScreen, 12, 1)})},
        {"gprf", SENT("gprf", WRAPPER(PlayerGetPluginData, buffer, 8, nullptr)), kCallRecordSize,
         call({CALL(getPluginDataMessage.dataPtr, 12, uintptr_t(buffer)),
               CALL(getPluginDataMessage.dataBufferSize, 16, 8)})},
        {"sprf", SENT("sprf", WRAPPER(PlayerSetPluginData, buffer, 4)), kCallRecordSize,
         call({CALL(setPluginDataMessage.dataPtr, 12, uintptr_t(buffer)), CALL(setPluginDataMessage.dataSize, 16, 4)})},
        {"gnpr", SENT("gnpr", WRAPPER(PlayerGetPluginNamedData, name, buffer, 6, nullptr)), kCallRecordSize,
         call({CALL(getPluginNamedDataMessage.dataName, 12, uintptr_t(name)),
               CALL(getPluginNamedDataMessage.dataPtr, 16, uintptr_t(buffer)),
               CALL(getPluginNamedDataMessage.dataBufferSize, 20, 6)})},
        {"snpr", SENT("snpr", WRAPPER(PlayerSetPluginNamedData, name, buffer, 3)), kCallRecordSize,
         call({CALL(setPluginNamedDataMessage.dataName, 12, uintptr_t(name)),
               CALL(setPluginNamedDataMessage.dataPtr, 16, uintptr_t(buffer)),
               CALL(setPluginNamedDataMessage.dataSize, 20, 3)})},
        {"idle", SENT("idle", WRAPPER(PlayerIdle)), kCallRecordSize, call({})},
        {"url ", SENT("url ", WRAPPER(PlayerOpenURL, url, 8)), kCallRecordSize,
         call({CALL(openURLMessage.url, 12, uintptr_t(url)), CALL(openURLMessage.length, 16, 8)})},
        {"dvsn", SENT("dvsn", WRAPPER(PlayerSetDeviceSerialNumber, name)), kCallRecordSize,
         call({CALL(setDeviceSerialNumberMessage.serialNumber, 12, uintptr_t(name))})},
        {"evnt", SENT("evnt", WRAPPER(PlayerHandleMacOSEvent, &event, nullptr)), kCallRecordSize,
         call({CALL(handleMacOSEventMessage.theEvent, 12, uintptr_t(&event))})},
        {"pspc", SENT("pspc", WRAPPER(PlayerGetPluginFileSpec, buffer)), kCallRecordSize,
         call({CALL(getPluginFileSpecMessage.fileSpec, 12, uintptr_t(buffer))})},
        {"module init record", [&] { return BytesOf(PluginInitRecord{1, 2, &host, TestHost::Proc, 3}); }, 20,
         {FIELD(PluginInitRecord, hostMajorVersion, 0, 1), FIELD(PluginInitRecord, hostMinorVersion, 4, 2),
          FIELD(PluginInitRecord, hostCookie, 8, uintptr_t(&host)),
          FIELD(PluginInitRecord, hostProc, 12, uintptr_t(TestHost::Proc)), FIELD(PluginInitRecord, options, 16, 3)}},
        {"handler init record", [&] { return BytesOf(VisualInitRecord{1, 2, 3, &host, TestHost::Proc, 4, buffer}); },
         28,
         {FIELD(VisualInitRecord, hostMajorVersion, 0, 1), FIELD(VisualInitRecord, hostMinorVersion, 4, 2),
          FIELD(VisualInitRecord, instanceOptions, 8, 3), FIELD(VisualInitRecord, hostCookie, 12, uintptr_t(&host)),
          FIELD(VisualInitRecord, hostProc, 16, uintptr_t(TestHost::Proc)), FIELD(VisualInitRecord, reserved, 20, 4),
          FIELD(VisualInitRecord, refCon, 24, uintptr_t(buffer))}},
        {"window record", [&] { return BytesOf(WindowRecord{host.port(), Rect{1, 2, 3, 4}}); }, 12,
         {FIELD(WindowRecord, port, 0, uintptr_t(host.port())), FIELD(WindowRecord, drawRect.top, 4, 1),
          FIELD(WindowRecord, drawRect.left, 6, 2), FIELD(WindowRecord, drawRect.bottom, 8, 3),
          FIELD(WindowRecord, drawRect.right, 10, 4)}},
        {"render record", [&] { return BytesOf(RenderMessageRecord{&data}); }, 4,
         {FIELD(RenderMessageRecord, renderData, 0, uintptr_t(&data))}},
        {"render data", [&] { return BytesOf(data); }, 2050,
         {FIELD(RenderData, numWaveformChannels, 0, 2), FIELD(RenderData, numSpectrumChannels, 1025, 2),
          FIELD(RenderData, spectrumData[0][0], 1026, 0x11), FIELD(RenderData, spectrumData[1][511], 2049, 0x22)}},
        {"event message record", [&] { return BytesOf(EventMessageRecord{const_cast<EventRecord *>(&event)}); }, 4,
         {FIELD(EventMessageRecord, event, 0, uintptr_t(&event))}},
        {"event record: the key's character at +5", [&] { return BytesOf(event); }, 16,
         {FIELD(EventRecord, what, 0, keyDown), FIELD(EventRecord, message, 2, 0x126D),
          FIELD(EventRecord, when, 6, 0x01020304), FIELD(EventRecord, where.v, 10, 5),
          FIELD(EventRecord, where.h, 12, 6), FIELD(EventRecord, modifiers, 14, 0x0100)}},
        {"point: by value one 32-bit word, v in the high half", [] { return BytesOf(Point{0x1234, 0x5678}); }, 4,
         {FIELD(Point, v, 0, 0x1234), FIELD(Point, h, 2, 0x5678)}},
    };
    ASSERT_TRUE(host.handler) << "registered";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const Bytes got = row.got();
        std::vector<bool> covered;
        Bytes want = Image(got.size(), row.fields, &covered);
        for (size_t i = 0; !kOriginal && row.originalSize != kCallRecordSize && i < got.size(); ++i)
            want[i] = covered[i] ? want[i] : got[i];
        if (kOriginal) {
            EXPECT_EQ(got.size(), row.originalSize);
            for (const Field &f : row.fields)
                EXPECT_EQ(f.native, f.original) << f.name;
        }
        const auto differ = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
        EXPECT_TRUE(differ.first == got.end()) << "byte " << differ.first - got.begin() << " is "
                                                << int(*differ.first) << ", not " << int(*differ.second);
    }
}

} // namespace
