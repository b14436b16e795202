// The host services as the bundle reaches them: each of the bundle's
// Player... wrappers, called with the host's procedure and cookie, gets to
// the right service and brings back its answer.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/HostServices.h"
#include "host_test_support.h"
#include "plugin/HostGlue.h"

using namespace qvhost;
using namespace qvhosttest;

namespace {

// The wrappers as the bundle exports them.
struct Glue {
    decltype(&PlayerSetFullScreen) setFullScreen;
    decltype(&PlayerSetFullScreenOptions) setFullScreenOptions;
    decltype(&PlayerGetPluginData) getPluginData;
    decltype(&PlayerSetPluginData) setPluginData;
    decltype(&PlayerGetPluginNamedData) getPluginNamedData;
    decltype(&PlayerSetPluginNamedData) setPluginNamedData;
    decltype(&PlayerIdle) idle;
    decltype(&PlayerShowAbout) showAbout;
    decltype(&PlayerOpenURL) openURL;
    decltype(&PlayerUnregisterPlugin) unregisterPlugin;
    decltype(&PlayerRegisterVisualPlugin) registerVisualPlugin;
    decltype(&PlayerRegisterDevicePlugin) registerDevicePlugin;
    decltype(&PlayerSetDeviceSerialNumber) setDeviceSerialNumber;
    decltype(&PlayerHandleMacOSEvent) handleMacOSEvent;
    decltype(&PlayerGetPluginFileSpec) getPluginFileSpec;
};

const Glue &BundleGlue()
{
    static Glue glue = [] {
        void *dl = dlopen(BundlePath().c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(dl, nullptr) << dlerror();
        auto get = [dl](const char *name) {
            void *p = dl ? dlsym(dl, name) : nullptr;
            EXPECT_NE(p, nullptr) << name;
            return p;
        };
        Glue g;
        g.setFullScreen = reinterpret_cast<decltype(g.setFullScreen)>(get("PlayerSetFullScreen"));
        g.setFullScreenOptions = reinterpret_cast<decltype(g.setFullScreenOptions)>(get("PlayerSetFullScreenOptions"));
        g.getPluginData = reinterpret_cast<decltype(g.getPluginData)>(get("PlayerGetPluginData"));
        g.setPluginData = reinterpret_cast<decltype(g.setPluginData)>(get("PlayerSetPluginData"));
        g.getPluginNamedData = reinterpret_cast<decltype(g.getPluginNamedData)>(get("PlayerGetPluginNamedData"));
        g.setPluginNamedData = reinterpret_cast<decltype(g.setPluginNamedData)>(get("PlayerSetPluginNamedData"));
        g.idle = reinterpret_cast<decltype(g.idle)>(get("PlayerIdle"));
        g.showAbout = reinterpret_cast<decltype(g.showAbout)>(get("PlayerShowAbout"));
        g.openURL = reinterpret_cast<decltype(g.openURL)>(get("PlayerOpenURL"));
        g.unregisterPlugin = reinterpret_cast<decltype(g.unregisterPlugin)>(get("PlayerUnregisterPlugin"));
        g.registerVisualPlugin = reinterpret_cast<decltype(g.registerVisualPlugin)>(get("PlayerRegisterVisualPlugin"));
        g.registerDevicePlugin = reinterpret_cast<decltype(g.registerDevicePlugin)>(get("PlayerRegisterDevicePlugin"));
        g.setDeviceSerialNumber =
            reinterpret_cast<decltype(g.setDeviceSerialNumber)>(get("PlayerSetDeviceSerialNumber"));
        g.handleMacOSEvent = reinterpret_cast<decltype(g.handleMacOSEvent)>(get("PlayerHandleMacOSEvent"));
        g.getPluginFileSpec = reinterpret_cast<decltype(g.getPluginFileSpec)>(get("PlayerGetPluginFileSpec"));
        return g;
    }();
    return glue;
}

OSStatus DummyHandler(OSType, void *, void *) { return noErr; }

// Registers a plug-in named `name` through the bundle's wrapper.
OSStatus Register(HostServices &services, const char *name)
{
    HostCallRecord record;
    std::memset(&record, 0xA5, sizeof record); // the header must be stamped by the glue
    std::memset(&record.u, 0, sizeof record.u);
    VisualRegistration &reg = record.u.registerVisualPluginMessage;
    reg.name[0] = static_cast<unsigned char>(std::strlen(name));
    std::memcpy(reg.name + 1, name, std::strlen(name));
    reg.handler = &DummyHandler;
    reg.options = kVisualWantsIdleMessages;
    reg.numSpectrumChannels = 2;
    return BundleGlue().registerVisualPlugin(services.cookie(), &HostServices::Proc, &record);
}

class HostServicesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Register(services, "Tester"), noErr); }

    TempDir config;
    HostServices services{config.path()};
    void *cookie() { return services.cookie(); }
    static constexpr PlayerProcPtr proc = &HostServices::Proc;
    const Glue &glue = BundleGlue();
};

TEST_F(HostServicesTest, RegistrationIsKeptAndASecondOneRefused)
{
    ASSERT_TRUE(services.registered());
    EXPECT_EQ(services.pluginName(), "Tester");
    EXPECT_EQ(services.registration().handler, &DummyHandler);
    EXPECT_EQ(services.registration().options, kVisualWantsIdleMessages);
    EXPECT_EQ(Register(services, "Other"), unimpErr);
    EXPECT_EQ(services.pluginName(), "Tester");
    EXPECT_EQ(services.calls(), (std::vector<OSType>{kPlayerRegisterVisualPluginMessage,
                                                     kPlayerRegisterVisualPluginMessage}));
}

TEST_F(HostServicesTest, FullScreenWishesAreKept)
{
    EXPECT_EQ(glue.setFullScreenOptions(cookie(), proc, 24, 32, 32, 1152, 720), noErr);
    ASSERT_TRUE(services.fullScreenOptions().has_value());
    EXPECT_EQ(services.fullScreenOptions()->width, 1152);
    EXPECT_EQ(services.fullScreenOptions()->height, 720);
    EXPECT_EQ(services.fullScreenOptions()->minBitDepth, 24);
    EXPECT_EQ(services.fullScreenOptions()->preferredBitDepth, 32);
    // Impossible wishes are refused and the last good one stays.
    EXPECT_EQ(glue.setFullScreenOptions(cookie(), proc, 24, 32, 32, 0, 720), paramErr);
    EXPECT_EQ(glue.setFullScreenOptions(cookie(), proc, 32, 16, 32, 800, 600), paramErr);
    EXPECT_EQ(services.fullScreenOptions()->width, 1152);
}

TEST_F(HostServicesTest, FullScreenGoesToTheSessionWhenItHasAWindow)
{
    EXPECT_EQ(glue.setFullScreen(cookie(), proc, 1), unimpErr); // headless: nothing to do
    std::vector<bool> asked;
    HostServices::Hooks hooks;
    hooks.setFullScreen = [&](bool on) {
        asked.push_back(on);
        return on ? noErr : OSStatus(-1);
    };
    services.setHooks(hooks);
    EXPECT_EQ(glue.setFullScreen(cookie(), proc, 1), noErr);
    EXPECT_EQ(glue.setFullScreen(cookie(), proc, 0), -1);
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));
}

TEST_F(HostServicesTest, PluginDataRoundTripsAndIsKeptOnDisk)
{
    UInt32 size = 99;
    char buffer[64] = {0};
    EXPECT_EQ(glue.getPluginData(cookie(), proc, buffer, sizeof buffer, &size), kFileNotFoundErr);
    EXPECT_EQ(size, 0u);

    char prefs[] = "colour=3;speed=fast";
    ASSERT_EQ(glue.setPluginData(cookie(), proc, prefs, sizeof prefs), noErr);
    EXPECT_EQ(glue.getPluginData(cookie(), proc, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(size, sizeof prefs);
    EXPECT_STREQ(buffer, prefs);

    // A short buffer gets what fits and learns the full size.
    char small[6] = {0};
    EXPECT_EQ(glue.getPluginData(cookie(), proc, small, 5, &size), noErr);
    EXPECT_EQ(size, sizeof prefs);
    EXPECT_EQ(std::string(small), "colou");
    EXPECT_EQ(glue.getPluginData(cookie(), proc, buffer, sizeof buffer, nullptr), noErr);
    // Size query without a buffer.
    EXPECT_EQ(glue.getPluginData(cookie(), proc, nullptr, 0, &size), noErr);
    EXPECT_EQ(size, sizeof prefs);
    EXPECT_EQ(glue.getPluginData(cookie(), proc, nullptr, 8, &size), paramErr);
    EXPECT_EQ(glue.setPluginData(cookie(), proc, nullptr, 8), paramErr);

    // Kept per plug-in under the configuration directory, across sessions.
    struct stat st;
    EXPECT_EQ(stat((config / "Tester").c_str(), &st), 0);
    HostServices later(config.path());
    ASSERT_EQ(Register(later, "Tester"), noErr);
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(glue.getPluginData(later.cookie(), proc, buffer, sizeof buffer, &size), noErr);
    EXPECT_STREQ(buffer, prefs);
    HostServices other(config.path());
    ASSERT_EQ(Register(other, "Someone/Else"), noErr);
    EXPECT_EQ(glue.getPluginData(other.cookie(), proc, buffer, sizeof buffer, &size), kFileNotFoundErr);
}

TEST_F(HostServicesTest, NamedDataIsKeptPerName)
{
    const unsigned char alpha[] = "\x05" "alpha";
    const unsigned char beta[] = "\x04" "beta";
    const unsigned char empty[] = "\x00";
    char a[] = "AAAA", b[] = "BB";
    EXPECT_EQ(glue.setPluginNamedData(cookie(), proc, alpha, a, 4), noErr);
    EXPECT_EQ(glue.setPluginNamedData(cookie(), proc, beta, b, 2), noErr);
    char buffer[16] = {0};
    UInt32 size = 0;
    EXPECT_EQ(glue.getPluginNamedData(cookie(), proc, alpha, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(std::string(buffer, size), "AAAA");
    EXPECT_EQ(glue.getPluginNamedData(cookie(), proc, beta, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(std::string(buffer, size), "BB");
    // Named blocks and the unnamed one are apart.
    EXPECT_EQ(glue.getPluginData(cookie(), proc, buffer, sizeof buffer, &size), kFileNotFoundErr);
    EXPECT_EQ(glue.getPluginNamedData(cookie(), proc, empty, buffer, sizeof buffer, &size), paramErr);
    EXPECT_EQ(glue.setPluginNamedData(cookie(), proc, nullptr, a, 4), paramErr);
    const unsigned char gamma[] = "\x05" "gamma";
    EXPECT_EQ(glue.getPluginNamedData(cookie(), proc, gamma, buffer, sizeof buffer, nullptr), kFileNotFoundErr);
}

TEST_F(HostServicesTest, ServicesWithoutDataOfTheirOwn)
{
    EXPECT_EQ(glue.idle(cookie(), proc), noErr);
    glue.showAbout(cookie(), proc);

    std::vector<std::string> opened;
    HostServices::Hooks hooks;
    hooks.openUrl = [&](const std::string &url) { opened.push_back(url); };
    hooks.handleEvent = [](const EventRecord &e) { return e.what == keyDown && (e.message & 0xFF) == 'q'; };
    services.setHooks(hooks);
    const char url[] = "https://example.org/quorvanta-and-more";
    glue.openURL(cookie(), proc, url, 25); // only the count given is read
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/quorv"}));

    EventRecord quit{};
    quit.what = keyDown;
    quit.message = 'q';
    EventRecord other = quit;
    other.message = 'x';
    Boolean handled = 7;
    EXPECT_EQ(glue.handleMacOSEvent(cookie(), proc, &quit, &handled), noErr);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(glue.handleMacOSEvent(cookie(), proc, &other, &handled), noErr);
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(glue.handleMacOSEvent(cookie(), proc, &quit, nullptr), noErr);
    EXPECT_EQ(glue.handleMacOSEvent(cookie(), proc, nullptr, &handled), paramErr);

    // No device plug-ins, no file specifications on this host.
    HostCallRecord record{};
    EXPECT_EQ(glue.registerDevicePlugin(cookie(), proc, &record), unimpErr);
    const unsigned char serial[] = "\x03" "123";
    EXPECT_EQ(glue.setDeviceSerialNumber(cookie(), proc, serial), unimpErr);
    char spec[80];
    EXPECT_EQ(glue.getPluginFileSpec(cookie(), proc, spec), unimpErr);

    EXPECT_FALSE(services.unregisterRequested());
    EXPECT_EQ(glue.unregisterPlugin(cookie(), proc, &record), noErr);
    EXPECT_TRUE(services.unregisterRequested());

    const std::vector<OSType> expected = {
        kPlayerRegisterVisualPluginMessage, kPlayerIdleMessage,           kPlayerShowAboutMessage,
        kPlayerOpenURLMessage,              kPlayerHandleMacOSEventMessage, kPlayerHandleMacOSEventMessage,
        kPlayerHandleMacOSEventMessage,     kPlayerHandleMacOSEventMessage, kPlayerRegisterDevicePluginMessage,
        kPlayerSetDeviceSerialNumberMessage, kPlayerGetPluginFileSpecMessage, kPlayerUnregisterPluginMessage};
    EXPECT_EQ(services.calls(), expected);
}

TEST(HostServicesProc, RefusesMalformedCalls)
{
    HostServices services("/nonexistent-config");
    EXPECT_EQ(HostServices::Proc(nullptr, kPlayerIdleMessage, nullptr), paramErr);
    EXPECT_EQ(HostServices::Proc(services.cookie(), kPlayerRegisterVisualPluginMessage, nullptr), paramErr);
    HostCallRecord record{};
    record.majorVersion = 9; // not the layout this host knows
    record.recordSize = sizeof record;
    EXPECT_EQ(HostServices::Proc(services.cookie(), kPlayerSetFullScreenOptionsMessage, &record), paramErr);
    EXPECT_EQ(HostServices::Proc(services.cookie(), QV_FOUR_CC('z', 'z', 'z', 'z'), &record), unimpErr);
    // Data services before any plug-in registered: nothing to key them by.
    record.majorVersion = kHostCallRecordMajorVersion;
    EXPECT_EQ(HostServices::Proc(services.cookie(), kPlayerSetPluginDataMessage, &record), unimpErr);
}

TEST(PluginDataStore, EscapedNamesAreSafeAndDistinct)
{
    const std::vector<std::string> names = {"plain", "with space", "../up", ".hidden", "a/b", "a%2Fb", "\x01\xff", ""};
    std::vector<std::string> escaped;
    for (const std::string &n : names) {
        const std::string e = PluginDataStore::EscapeName(n);
        EXPECT_EQ(e.find('/'), std::string::npos) << e;
        EXPECT_NE(e.rfind(".", 0), 0u) << e;
        for (const std::string &seen : escaped)
            EXPECT_NE(e, seen);
        escaped.push_back(e);
    }
    EXPECT_EQ(PluginDataStore::EscapeName("Quorvanta"), "Quorvanta");
}

} // namespace
