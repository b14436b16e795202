// The `quorvanta` GStreamer element: its frames against `quorvanta render` of
// the same file, inside playbin, bad input ending in an error message (and a
// second run of the same element working), and repeated state cycles.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "host/host_test_support.h"
#include "platform/agl_test_hooks.h"
#include "support/image_io.h"

namespace {

using namespace qvtest;

// GStreamer with the built element loaded, once per test program.
void InitGstreamer()
{
    static const bool ready = [] {
        setenv("GST_REGISTRY", QV_TEST_GST_REGISTRY, 1);
        gst_init(nullptr, nullptr);
        GstPlugin *plugin = gst_plugin_load_file(QV_TEST_ELEMENT, nullptr);
        if (plugin)
            gst_object_unref(plugin);
        return plugin != nullptr;
    }();
    ASSERT_TRUE(ready) << "cannot load " << QV_TEST_ELEMENT;
}

struct Unref {
    void operator()(GstElement *e) const { gst_object_unref(e); }
};
using Element = std::unique_ptr<GstElement, Unref>;

Element Launch(const std::string &description)
{
    Element pipeline(gst_parse_launch(description.c_str(), nullptr));
    EXPECT_TRUE(pipeline) << description;
    return pipeline;
}

GstElement *Child(GstElement *bin, const char *name) // borrowed
{
    GstElement *e = gst_bin_get_by_name(GST_BIN(bin), name);
    gst_object_unref(e);
    return e;
}

struct Outcome {
    bool ended = false; // end of stream
    std::string error, source; // the first error's message (and its debug text) and sender
};

// Plays `pipeline` until the end of the stream or an error, then sets it to NULL.
Outcome Play(GstElement *pipeline)
{
    Outcome o;
    GstBus *bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstMessage *m = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
        GError *error = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(m, &error, &debug);
        o.error = std::string(error->message) + " (" + (debug ? debug : "") + ")";
        o.source = GST_OBJECT_NAME(GST_MESSAGE_SRC(m));
        g_error_free(error);
        g_free(debug);
    }
    o.ended = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (m)
        gst_message_unref(m);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_bus_set_flushing(bus, TRUE); // drops what the run left
    gst_bus_set_flushing(bus, FALSE);
    gst_object_unref(bus);
    return o;
}

// A signal whose pitch and level move, so that frames differ.
float Sweep(int channel, double t)
{
    return float((0.3 + 0.3 * t) * std::sin(2 * M_PI * (150 + 500 * t + 200 * channel) * t));
}

// The frames of a file through decodebin and the element at width x height, `fps`.
std::vector<qvtest::Image> PipelineFrames(const std::string &file, int width, int height, int fps)
{
    Element p = Launch("filesrc location=" + file +
                       " ! decodebin ! audioconvert ! audioresample ! quorvanta ! video/x-raw,width=" +
                       std::to_string(width) + ",height=" + std::to_string(height) +
                       ",framerate=" + std::to_string(fps) + "/1 ! appsink name=out sync=false");
    GstAppSink *sink = GST_APP_SINK(Child(p.get(), "out"));
    gst_element_set_state(p.get(), GST_STATE_PLAYING);
    std::vector<qvtest::Image> frames;
    while (GstSample *sample = gst_app_sink_try_pull_sample(sink, 30 * GST_SECOND)) {
        GstMapInfo map;
        gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
        const auto *words = reinterpret_cast<const uint32_t *>(map.data); // BGRx: ARGB words, A undefined
        frames.push_back({width, height, std::vector<uint32_t>(words, words + map.size / 4)});
        gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        gst_sample_unref(sample);
    }
    EXPECT_TRUE(gst_app_sink_is_eos(sink));
    gst_element_set_state(p.get(), GST_STATE_NULL);
    return frames;
}

// The visual keeps its bass level from the bundle's load to its unload, and
// the bundle stays loaded for the life of the process: only the first stream
// a process visualizes starts where `quorvanta render` starts. So each clip
// is a test of its own, which ctest runs in a process of its own.
struct Clip {
    int rate, fps, channels;
};
void PrintTo(const Clip &c, std::ostream *out) { *out << c.rate << " Hz, " << c.fps << " fps, " << c.channels << " ch"; }
class FramesEqualTheProgram : public testing::TestWithParam<Clip> {};

TEST_P(FramesEqualTheProgram, FrameForFrame)
{
    static int runs = 0;
    if (runs++ > 0)
        GTEST_SKIP() << "needs a process of its own";
    InitGstreamer();
    constexpr int kWidth = 64, kHeight = 48;
    const Clip clip = GetParam();
    TempDir dir;
    WriteAudio(dir / "in.wav", clip.rate, 2.1, Sweep, clip.channels);
    const RunResult r =
        Execute(kProgram, {"render", dir / "in.wav", "-o", dir / "%04d.png", "--size",
                           std::to_string(kWidth) + "x" + std::to_string(kHeight), "--fps", std::to_string(clip.fps), "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto frames = PipelineFrames(dir / "in.wav", kWidth, kHeight, clip.fps);
    ASSERT_EQ(frames.size(), dir.entries().size() - 1); // all but in.wav
    for (size_t n = 0; n < frames.size(); ++n) {
        qvtest::Image expected;
        char name[32];
        std::snprintf(name, sizeof name, "%04zu.png", n);
        ASSERT_TRUE(qvtest::ReadPng(dir / name, expected));
        ASSERT_EQ(qvtest::Compare(frames[n], expected, 0).beyondTolerance, 0) << "frame " << n;
    }
}

// 22050 Hz at 60 fps puts every other frame half a sample past a whole step;
// the mono 16-bit file reaches the element as it is.
INSTANTIATE_TEST_SUITE_P(Element, FramesEqualTheProgram,
                         testing::Values(Clip{22050, 60, 2}, Clip{48000, 25, 1}),
                         [](const testing::TestParamInfo<Clip> &i) { return std::to_string(i.param.rate) + "Hz"; });

void CountFrame(GstElement *, GstBuffer *, GstPad *, gpointer frames) { ++*static_cast<std::atomic<int> *>(frames); }

TEST(Element, PlaybinShowsItForAWholeFile)
{
    InitGstreamer();
    TempDir dir;
    WriteAudio(dir / "song.wav", 44100, 1.0, Sweep);
    Element playbin(gst_element_factory_make("playbin", nullptr));
    GstElement *video = gst_element_factory_make("fakesink", nullptr);
    g_object_set(video, "signal-handoffs", TRUE, nullptr);
    std::atomic<int> frames{0};
    g_signal_connect(video, "handoff", G_CALLBACK(CountFrame), &frames);
    gchar *uri = gst_filename_to_uri((dir / "song.wav").c_str(), nullptr);
    g_object_set(playbin.get(), "uri", uri, "vis-plugin", gst_element_factory_make("quorvanta", nullptr),
                 "audio-sink", gst_element_factory_make("fakesink", nullptr), "video-sink", video, nullptr);
    g_free(uri);
    gst_util_set_object_arg(G_OBJECT(playbin.get()), "flags", "audio+video+vis+soft-volume");
    const Outcome o = Play(playbin.get());
    EXPECT_TRUE(o.ended) << o.error;
    EXPECT_EQ(frames, 60) << "one second at the 60 fps the element picks when the sink leaves it open";
}

TEST(Element, BadInputEndsInAnErrorAndTheElementRunsAgain)
{
    InitGstreamer();
    // The hosted visual's own test has every failure; here, one while
    // starting (READY to PAUSED) and one while showing (caps fixed), then
    // what the element itself refuses, and times near the clock's end.
    const std::string tone = "audiotestsrc name=src num-buffers=8",
                      zeros = "fakesrc name=src num-buffers=8 sizetype=fixed sizemax=4096 filltype=zero format=time ! "
                              "audio/x-raw,format=F32LE,layout=interleaved,channels=2,rate=44100";
    const struct {
        const char *name;
        std::string source, bundle, caps;   // the audio, the bundle, the video caps asked for
        const char *property, *bad, *good; // of the source: its value in the bad run and in the good
        const char *from, *says;            // the element that reports an error, its message; null: the stream ends
    } rows[] = {
        {"bundle missing", tone, "/nonexistent/quorvanta.so", "width=64,height=48,framerate=30/1", nullptr, nullptr, nullptr, "q", "no plug-in bundle there"},
        {"wider than the GL draws", tone, kBundle, "width=20000,height=48,framerate=30/1", nullptr, nullptr, nullptr, "q", "20000x48 is larger than the GL here can draw"},
        {"more frames a second than drawn", tone, kSpyBundle, "width=64,height=48,framerate=1000000/1", nullptr, nullptr, nullptr, "src", "not-negotiated"},
        {"a BYTES segment", zeros, kSpyBundle, "width=64,height=48", "format", "bytes", "time", "q", "needs a TIME segment"},
        {"times near the clock's end", tone, kSpyBundle, "width=64,height=48,framerate=1000/1", "timestamp-offset", "9223372036000000000", "0", nullptr, nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Element p = Launch(row.source + " ! audioconvert ! quorvanta name=q ! capsfilter name=size ! fakesink");
        g_object_set(Child(p.get(), "q"), "plugin", row.bundle.c_str(), nullptr);
        gst_util_set_object_arg(G_OBJECT(Child(p.get(), "size")), "caps", ("video/x-raw," + row.caps).c_str());
        if (row.property)
            gst_util_set_object_arg(G_OBJECT(Child(p.get(), "src")), row.property, row.bad);
        const Outcome bad = Play(p.get());
        EXPECT_EQ(bad.ended, row.from == nullptr) << bad.error;
        EXPECT_EQ(bad.source, row.from ? row.from : "");
        EXPECT_NE(bad.error.find(row.says ? row.says : ""), std::string::npos) << bad.error;

        g_object_set(Child(p.get(), "q"), "plugin", kSpyBundle.c_str(), nullptr);
        gst_util_set_object_arg(G_OBJECT(Child(p.get(), "size")), "caps", "video/x-raw,width=64,height=48");
        if (row.property)
            gst_util_set_object_arg(G_OBJECT(Child(p.get(), "src")), row.property, row.good);
        const Outcome good = Play(p.get());
        EXPECT_TRUE(good.ended) << good.error;
    }
}

// Once started, the element offers only the sizes the visual can be shown
// at: the spy registers for up to 4000 pixels a side.
TEST(Element, OffersTheSizesTheVisualCanBeShownAt)
{
    InitGstreamer();
    Element p = Launch("audiotestsrc ! quorvanta name=q ! fakesink");
    g_object_set(Child(p.get(), "q"), "plugin", kSpyBundle.c_str(), nullptr);
    ASSERT_NE(gst_element_set_state(p.get(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    GstPad *src = gst_element_get_static_pad(Child(p.get(), "q"), "src");
    GstCaps *caps = gst_pad_query_caps(src, nullptr);
    const GValue *width = gst_structure_get_value(gst_caps_get_structure(caps, 1), "width"); // any size at 60 fps
    EXPECT_EQ(gst_value_get_int_range_max(width), 4000) << gst_caps_to_string(caps);
    gst_caps_unref(caps);
    gst_object_unref(src);
    gst_element_set_state(p.get(), GST_STATE_NULL);
}

// What the cycles leave in memory LeakSanitizer reports at the end of the
// sanitizer build's run; here, the GL contexts the visual made.
TEST(Element, StateCyclesLeaveNothingBehind)
{
    InitGstreamer();
    Element p = Launch("audiotestsrc num-buffers=6 ! quorvanta ! video/x-raw,width=48,height=32 ! fakesink");
    for (int cycle = 0; cycle < 50; ++cycle)
        ASSERT_TRUE(Play(p.get()).ended) << "cycle " << cycle;
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);
    EXPECT_EQ(QVAGL_LiveFramebufferCount(), 0);
}

} // namespace
