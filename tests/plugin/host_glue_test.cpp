// The wrappers for calls into the host: what each puts in the record, what
// it copies back, and the memory routines they stand on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "plugin/HostGlue.h"
#include "plugin/MemoryRoutines.h"

namespace {

struct Recorder {
    OSType code = 0;
    bool hadRecord = false;
    HostCallRecord seen{};
    HostCallRecord *address = nullptr;
    OSStatus answer = noErr;
    // Bytes the "host" writes into the record before returning.
    std::vector<std::pair<size_t, std::vector<UInt8>>> writes;
};

OSStatus Proc(void *cookie, OSType code, HostCallRecord *record)
{
    Recorder *r = static_cast<Recorder *>(cookie);
    r->code = code;
    r->hadRecord = record != nullptr;
    r->address = record;
    if (record) {
        std::memcpy(&r->seen, record, sizeof r->seen);
        for (auto &w : r->writes)
            std::memcpy(reinterpret_cast<UInt8 *>(record) + w.first, w.second.data(), w.second.size());
    }
    return r->answer;
}

void ExpectHeader(const HostCallRecord &rec)
{
    EXPECT_EQ(rec.majorVersion, 10u);
    EXPECT_EQ(rec.minorVersion, 1u);
    EXPECT_EQ(rec.recordSize, sizeof(HostCallRecord));
}

// Every payload byte outside [from, to) is zero.
void ExpectZeroOutside(const HostCallRecord &rec, size_t from, size_t to)
{
    const UInt8 *p = reinterpret_cast<const UInt8 *>(&rec);
    for (size_t i = offsetof(HostCallRecord, u); i < sizeof rec; ++i) {
        if (i < from || i >= to) {
            EXPECT_EQ(p[i], 0) << "byte " << i;
        }
    }
}

constexpr size_t kPayload = offsetof(HostCallRecord, u);

} // namespace

TEST(HostGlue, CallApplicationWithoutARecordSendsAZeroedOne)
{
    Recorder r;
    r.answer = 77;
    EXPECT_EQ(ITCallApplication(&r, Proc, 0x61626364, nullptr), 77);
    EXPECT_EQ(r.code, 0x61626364u);
    ASSERT_TRUE(r.hadRecord);
    ExpectHeader(r.seen);
    ExpectZeroOutside(r.seen, 0, 0);
}

TEST(HostGlue, PassThroughWrappersRewriteOnlyTheHeader)
{
    using Wrapper = OSStatus (*)(void *, PlayerProcPtr, HostCallRecord *);
    struct {
        Wrapper fn;
        OSType code;
    } cases[] = {{PlayerRegisterVisualPlugin, QV_FOUR_CC('r', 'v', 'i', 's')},
                 {PlayerUnregisterPlugin, QV_FOUR_CC('u', 'n', 'r', 'g')},
                 {PlayerRegisterDevicePlugin, QV_FOUR_CC('r', 'd', 'e', 'v')}};
    for (auto &c : cases) {
        HostCallRecord rec;
        std::memset(&rec, 0xA7, sizeof rec);
        HostCallRecord before = rec;
        Recorder r;
        r.answer = -3;
        EXPECT_EQ(c.fn(&r, Proc, &rec), -3);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.address, &rec) << "the caller's record itself is passed";
        ExpectHeader(r.seen);
        EXPECT_EQ(0, std::memcmp(&rec.u, &before.u, sizeof rec.u));
    }
}

TEST(HostGlue, FullScreenOptionsPayload)
{
    Recorder r;
    EXPECT_EQ(PlayerSetFullScreenOptions(&r, Proc, 24, 32, 32, 1024, 768), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('s', 'f', 'o', 'p'));
    ExpectHeader(r.seen);
    const SInt16 want[5] = {24, 32, 32, 1024, 768};
    EXPECT_EQ(0, std::memcmp(r.seen.u.raw, want, sizeof want));
    ExpectZeroOutside(r.seen, kPayload, kPayload + 10);
}

TEST(HostGlue, ValueWrappersPlaceTheirArguments)
{
    char buf[4];
    const unsigned char name[] = "\x04name";
    EventRecord ev{};
    Recorder r;

    EXPECT_EQ(PlayerSetFullScreen(&r, Proc, 1), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('s', 'f', 'u', 'l'));
    EXPECT_EQ(r.seen.u.setFullScreenMessage.fullScreen, 1);
    ExpectZeroOutside(r.seen, kPayload, kPayload + 1);

    EXPECT_EQ(PlayerSetPluginData(&r, Proc, buf, 4), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('s', 'p', 'r', 'f'));
    EXPECT_EQ(r.seen.u.setPluginDataMessage.dataPtr, buf);
    EXPECT_EQ(r.seen.u.setPluginDataMessage.dataSize, 4u);

    EXPECT_EQ(PlayerSetPluginNamedData(&r, Proc, name, buf, 3), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('s', 'n', 'p', 'r'));
    EXPECT_EQ(r.seen.u.setPluginNamedDataMessage.dataName, name);
    EXPECT_EQ(r.seen.u.setPluginNamedDataMessage.dataPtr, buf);
    EXPECT_EQ(r.seen.u.setPluginNamedDataMessage.dataSize, 3u);

    PlayerOpenURL(&r, Proc, "http://x", 8);
    EXPECT_EQ(r.code, QV_FOUR_CC('u', 'r', 'l', ' '));
    EXPECT_EQ(r.seen.u.openURLMessage.length, 8u);
    EXPECT_EQ(0, std::memcmp(r.seen.u.openURLMessage.url, "http://x", 8));

    EXPECT_EQ(PlayerSetDeviceSerialNumber(&r, Proc, name), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('d', 'v', 's', 'n'));
    EXPECT_EQ(r.seen.u.setDeviceSerialNumberMessage.serialNumber, name);

    EXPECT_EQ(PlayerGetPluginFileSpec(&r, Proc, buf), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('p', 's', 'p', 'c'));
    EXPECT_EQ(r.seen.u.getPluginFileSpecMessage.fileSpec, buf);

    r.answer = -9;
    EXPECT_EQ(PlayerIdle(&r, Proc), -9);
    EXPECT_EQ(r.code, QV_FOUR_CC('i', 'd', 'l', 'e'));
    ExpectZeroOutside(r.seen, 0, 0);
    PlayerShowAbout(&r, Proc);
    EXPECT_EQ(r.code, QV_FOUR_CC('a', 'b', 'o', 'u'));
    ExpectHeader(r.seen);

    r.answer = 0;
    EXPECT_EQ(PlayerHandleMacOSEvent(&r, Proc, &ev, nullptr), noErr);
    EXPECT_EQ(r.code, QV_FOUR_CC('e', 'v', 'n', 't'));
    EXPECT_EQ(r.seen.u.handleMacOSEventMessage.theEvent, &ev);
}

TEST(HostGlue, OutValuesAreCopiedBackWhateverTheStatus)
{
    for (OSStatus answer : {OSStatus(noErr), OSStatus(-50)}) {
        Recorder r;
        r.answer = answer;
        const UInt32 reported = 0xC0FFEE;
        const UInt8 *rb = reinterpret_cast<const UInt8 *>(&reported);
        char buf[8];

        r.writes = {{offsetof(HostCallRecord, u.getPluginDataMessage.dataSize), {rb, rb + 4}}};
        UInt32 size = 1;
        EXPECT_EQ(PlayerGetPluginData(&r, Proc, buf, sizeof buf, &size), answer);
        EXPECT_EQ(r.code, QV_FOUR_CC('g', 'p', 'r', 'f'));
        EXPECT_EQ(r.seen.u.getPluginDataMessage.dataPtr, buf);
        EXPECT_EQ(r.seen.u.getPluginDataMessage.dataBufferSize, 8u);
        EXPECT_EQ(size, reported);
        EXPECT_EQ(PlayerGetPluginData(&r, Proc, buf, sizeof buf, nullptr), answer) << "null size pointer";

        r.writes = {{offsetof(HostCallRecord, u.getPluginNamedDataMessage.dataSize), {rb, rb + 4}}};
        const unsigned char name[] = "\x01k";
        size = 1;
        EXPECT_EQ(PlayerGetPluginNamedData(&r, Proc, name, buf, 6, &size), answer);
        EXPECT_EQ(r.code, QV_FOUR_CC('g', 'n', 'p', 'r'));
        EXPECT_EQ(r.seen.u.getPluginNamedDataMessage.dataName, name);
        EXPECT_EQ(r.seen.u.getPluginNamedDataMessage.dataPtr, buf);
        EXPECT_EQ(r.seen.u.getPluginNamedDataMessage.dataBufferSize, 6u);
        EXPECT_EQ(size, reported);
        EXPECT_EQ(PlayerGetPluginNamedData(&r, Proc, name, buf, 6, nullptr), answer);

        r.writes = {{offsetof(HostCallRecord, u.handleMacOSEventMessage.handled), {1}}};
        Boolean handled = 0;
        EventRecord ev{};
        EXPECT_EQ(PlayerHandleMacOSEvent(&r, Proc, &ev, &handled), answer);
        EXPECT_EQ(handled, 1);
        EXPECT_EQ(PlayerHandleMacOSEvent(&r, Proc, &ev, nullptr), answer);
    }
}

// Both MemClear variants must clear exactly [start, start + count) for any
// alignment, and nothing for counts of zero or below.
TEST(MemoryRoutines, MemClearClearsExactlyTheRange)
{
    using Clear = void (*)(void *, SInt32);
    for (Clear clear : {Clear(plugin_module::MemClear), Clear(host_glue::MemClear)}) {
        for (int start = 0; start < 8; ++start) {
            for (SInt32 count : {-5, -1, 0, 1, 3, 4, 15, 16, 17, 33, 112, 124}) {
                alignas(8) UInt8 buf[160];
                std::memset(buf, 0xCD, sizeof buf);
                clear(buf + 8 + start, count);
                for (int i = 0; i < 160; ++i) {
                    bool inside = i >= 8 + start && i < 8 + start + count;
                    ASSERT_EQ(buf[i], inside ? 0 : 0xCD) << "start " << start << " count " << count << " byte " << i;
                }
            }
        }
    }
}

TEST(MemoryRoutines, BlockMoveDataIsOverlapSafeAndIgnoresNonPositiveCounts)
{
    UInt8 buf[16];
    for (int i = 0; i < 16; ++i)
        buf[i] = static_cast<UInt8>(i);
    BlockMoveData(buf, buf + 4, 0);
    BlockMoveData(buf, buf + 4, -7);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(buf[i], i);

    BlockMoveData(buf, buf + 3, 10); // forward overlap
    const UInt8 fwd[16] = {0, 1, 2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15};
    EXPECT_EQ(0, std::memcmp(buf, fwd, 16));

    for (int i = 0; i < 16; ++i)
        buf[i] = static_cast<UInt8>(i);
    BlockMoveData(buf + 3, buf, 10); // backward overlap
    const UInt8 back[16] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(0, std::memcmp(buf, back, 16));
}

TEST(MemoryRoutines, SetNumVersionStoresTheLowBytesInOrder)
{
    NumVersion v{};
    SetNumVersion(&v, 1, 0x23, 0x80, 7);
    const UInt8 want[4] = {1, 0x23, 0x80, 7};
    EXPECT_EQ(0, std::memcmp(&v, want, 4));
}
