#include "gst/quorvanta_element.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include "gst/audio_tail.h"
#include "gst/session_thread.h"
#include "gst/visual_session.h"
#include "host/host_error.h"
#include "platform/qd_port.h"

#ifndef QV_GST_INSTALLED_BUNDLE
#define QV_GST_INSTALLED_BUNDLE "/usr/local/lib/quorvanta/quorvanta.so"
#endif

GST_DEBUG_CATEGORY_STATIC(quorvanta_debug);
#define GST_CAT_DEFAULT quorvanta_debug

namespace {

#if G_BYTE_ORDER == G_LITTLE_ENDIAN
#define QV_VIDEO_FORMAT "BGRx" // native ARGB words, lowest byte first
#else
#define QV_VIDEO_FORMAT "xRGB"
#endif
// The largest port side (kQVPortMaxSide), spelled out for the caps.
#define QV_MAX_SIDE "32767"
static_assert(kQVPortMaxSide == 32767, "QV_MAX_SIDE must follow the port's limit");

GstStaticPadTemplate kSinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) { " GST_AUDIO_NE(F32) ", " GST_AUDIO_NE(S16) " }, "
                                            "layout = (string) interleaved, channels = (int) [ 1, 2 ], "
                                            "rate = (int) [ 8000, 192000 ]"));
GstStaticPadTemplate kSrcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) " QV_VIDEO_FORMAT ", width = (int) [ 1, " QV_MAX_SIDE
                    " ], height = (int) [ 1, " QV_MAX_SIDE " ], framerate = (fraction) [ 1/1, MAX ]"));

enum { PROP_0, PROP_PLUGIN };

// Where the bundle is when "plugin" is not set: in a build tree, built
// beside the element (build/gst/ and build/lib/), else where `cmake
// --install` put it.
std::string DefaultBundlePath()
{
    Dl_info self{};
    if (dladdr(reinterpret_cast<void *>(&DefaultBundlePath), &self) && self.dli_fname) {
        const std::string element = self.dli_fname;
        const std::string built = element.substr(0, element.rfind('/') + 1) + "../lib/quorvanta.so";
        struct stat st;
        if (stat(built.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return built;
    }
    return QV_GST_INSTALLED_BUNDLE;
}

// Everything of one element beyond the base class. The stream state is the
// streaming thread's; `pluginPath` is guarded by the object lock.
struct ElementState {
    std::string pluginPath; // empty: DefaultBundlePath()
    GstPadEventFunction baseSinkEvent = nullptr, baseSrcEvent = nullptr;

    std::unique_ptr<qvgst::SessionThread> thread;     // from READY to PAUSED ...
    std::unique_ptr<qvgst::VisualSession> session;    // ... until back to READY
    GstBufferPool *pool = nullptr;                    // the base class's, from decide_allocation
    GstBuffer *previous = nullptr;                    // the last frame, until the next is drawn
    GstSegment segment;
    GstClockTime earliest = GST_CLOCK_TIME_NONE;      // QoS: frames before it are late (object lock)
    bool started = false;                             // the audio's place in running time is known
    bool regrid = false;                              // new caps: the frames stand elsewhere from now on
    int64_t nextFrame = 0;
    qvgst::AudioTail tail{qvhost::kAnalysisSize};
    std::vector<float> left = std::vector<float>(qvhost::kAnalysisSize);
    std::vector<float> right = std::vector<float>(qvhost::kAnalysisSize);
};

} // namespace

struct _GstQuorvanta {
    GstAudioVisualizer parent;
    ElementState *state;
};

G_DEFINE_TYPE(GstQuorvanta, gst_quorvanta, GST_TYPE_AUDIO_VISUALIZER)

namespace {

ElementState &State(gpointer element) { return *GST_QUORVANTA(element)->state; }

GstPad *SrcPad(gpointer element) { return GST_PAD(GST_ELEMENT(element)->srcpads->data); }

std::string PluginPath(GstQuorvanta *self)
{
    GST_OBJECT_LOCK(self);
    std::string path = self->state->pluginPath;
    GST_OBJECT_UNLOCK(self);
    return path.empty() ? DefaultBundlePath() : path;
}

void PostError(GstQuorvanta *self, GstLibraryError code, const std::string &what)
{
    gst_element_message_full(GST_ELEMENT(self), GST_MESSAGE_ERROR, GST_LIBRARY_ERROR, code, g_strdup(what.c_str()),
                             nullptr, __FILE__, GST_FUNCTION, __LINE__);
}

// Runs `job` on the session thread; a HostError becomes an error message.
bool OnSession(GstQuorvanta *self, GstLibraryError code, const std::function<void()> &job)
{
    try {
        self->state->thread->run(job);
        return true;
    } catch (const qvhost::HostError &e) {
        PostError(self, code, e.what());
    } catch (const std::exception &e) {
        PostError(self, GST_LIBRARY_ERROR_FAILED, std::string("quorvanta: ") + e.what());
    }
    return false;
}

void EndSession(GstQuorvanta *self)
{
    ElementState &s = *self->state;
    if (s.thread) {
        OnSession(self, GST_LIBRARY_ERROR_SHUTDOWN, [&] { s.session.reset(); });
        s.thread.reset();
    }
    gst_buffer_replace(&s.previous, nullptr);
    if (s.pool) {
        gst_buffer_pool_set_active(s.pool, FALSE);
        gst_clear_object(&s.pool);
    }
    s.started = false;
}

bool StartSession(GstQuorvanta *self)
{
    ElementState &s = *self->state;
    const std::string path = PluginPath(self);
    s.thread = std::make_unique<qvgst::SessionThread>();
    gst_segment_init(&s.segment, GST_FORMAT_TIME);
    if (OnSession(self, GST_LIBRARY_ERROR_INIT, [&] { s.session = std::make_unique<qvgst::VisualSession>(path); }))
        return true;
    EndSession(self);
    return false;
}

// The base class has fixed the video caps (scope->vinfo): show the visual at
// that size. Called on the streaming thread.
gboolean Setup(GstAudioVisualizer *scope)
{
    GstQuorvanta *self = GST_QUORVANTA(scope);
    ElementState &s = *self->state;
    if (!s.session)
        return FALSE; // starting failed and said why
    const int width = GST_VIDEO_INFO_WIDTH(&scope->vinfo), height = GST_VIDEO_INFO_HEIGHT(&scope->vinfo);
    s.regrid = true;
    return OnSession(self, GST_LIBRARY_ERROR_SETTINGS, [&] { s.session->show(width, height); });
}

gboolean DecideAllocation(GstAudioVisualizer *scope, GstQuery *query)
{
    const auto *base = GST_AUDIO_VISUALIZER_CLASS(gst_quorvanta_parent_class);
    if (!base->decide_allocation(scope, query))
        return FALSE;
    ElementState &s = State(scope);
    if (s.pool)
        gst_buffer_pool_set_active(s.pool, FALSE);
    gst_clear_object(&s.pool);
    if (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_parse_nth_allocation_pool(query, 0, &s.pool, nullptr, nullptr, nullptr);
    return s.pool != nullptr;
}

// Where in running time the buffer's first sample lies, in samples.
int64_t FirstSample(const ElementState &s, GstBuffer *buffer, int rate)
{
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts))
        return s.tail.end();
    const guint64 rt = gst_segment_to_running_time(&s.segment, GST_FORMAT_TIME, pts);
    return GST_CLOCK_TIME_IS_VALID(rt) ? static_cast<int64_t>(gst_util_uint64_scale_round(rt, rate, GST_SECOND))
                                       : s.tail.end();
}

// Whether a frame that ends at `end` (running time) would come too late.
bool Late(GstQuorvanta *self, GstClockTime end)
{
    GST_OBJECT_LOCK(self);
    const GstClockTime earliest = self->state->earliest;
    GST_OBJECT_UNLOCK(self);
    return GST_CLOCK_TIME_IS_VALID(earliest) && end <= earliest;
}

// Draws frame n into a buffer of the pool and pushes it.
GstFlowReturn PushFrame(GstQuorvanta *self, int64_t n)
{
    GstAudioVisualizer *scope = GST_AUDIO_VISUALIZER(self);
    ElementState &s = *self->state;
    const GstVideoInfo &vi = scope->vinfo;
    const int rate = GST_AUDIO_INFO_RATE(&scope->ainfo), fpsN = GST_VIDEO_INFO_FPS_N(&vi),
              fpsD = GST_VIDEO_INFO_FPS_D(&vi);
    const GstClockTime rt = gst_util_uint64_scale(n, GST_SECOND * fpsD, fpsN);
    const GstClockTime next = gst_util_uint64_scale(n + 1, GST_SECOND * fpsD, fpsN);
    if (Late(self, next))
        return GST_FLOW_OK;

    if (!gst_buffer_pool_is_active(s.pool) && !gst_buffer_pool_set_active(s.pool, TRUE))
        return GST_FLOW_ERROR;
    GstBuffer *out = nullptr;
    GstFlowReturn ret = gst_buffer_pool_acquire_buffer(s.pool, &out, nullptr);
    if (ret != GST_FLOW_OK)
        return ret;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &vi, out, GST_MAP_WRITE)) {
        gst_buffer_unref(out);
        PostError(self, GST_LIBRARY_ERROR_FAILED, "quorvanta: cannot write into an output buffer");
        return GST_FLOW_ERROR;
    }
    auto *pixels = static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), width = GST_VIDEO_INFO_WIDTH(&vi);
    const bool packed = stride == width * 4; // else drawn in the port and copied
    s.tail.window(qvgst::FrameSample(n, rate, fpsN, fpsD), s.left.data(), s.right.data());
    const bool drawn = OnSession(self, GST_LIBRARY_ERROR_FAILED, [&] {
        s.session->draw(s.left.data(), s.right.data(), static_cast<double>(rt) / GST_SECOND,
                        static_cast<time_t>(n * fpsD / fpsN),
                        packed ? reinterpret_cast<uint32_t *>(pixels) : nullptr);
        for (int y = 0; !packed && y < GST_VIDEO_INFO_HEIGHT(&vi); ++y)
            std::memcpy(pixels + static_cast<ptrdiff_t>(y) * stride, s.session->port().row(y),
                        static_cast<size_t>(width) * 4);
    });
    gst_video_frame_unmap(&frame);
    if (!drawn) {
        gst_buffer_unref(out);
        return GST_FLOW_ERROR;
    }
    const guint64 pts = gst_segment_position_from_running_time(&s.segment, GST_FORMAT_TIME, rt);
    GST_BUFFER_PTS(out) = GST_CLOCK_TIME_IS_VALID(pts) ? pts : rt;
    GST_BUFFER_DURATION(out) = next - rt;
    gst_buffer_replace(&s.previous, packed ? out : nullptr);
    return gst_pad_push(SrcPad(self), out);
}

GstFlowReturn Chain(GstPad *pad, GstObject *parent, GstBuffer *buffer)
{
    GstQuorvanta *self = GST_QUORVANTA(parent);
    GstAudioVisualizer *scope = GST_AUDIO_VISUALIZER(parent);
    ElementState &s = *self->state;
    if (gst_pad_check_reconfigure(SrcPad(self))) { // downstream asks for other caps
        GstCaps *caps = gst_pad_get_current_caps(pad);
        if (caps && !s.baseSinkEvent(pad, parent, gst_event_new_caps(caps)))
            gst_pad_mark_reconfigure(SrcPad(self));
        if (caps)
            gst_caps_unref(caps);
    }
    const GstAudioInfo &ai = scope->ainfo;
    const int rate = GST_AUDIO_INFO_RATE(&ai), bpf = GST_AUDIO_INFO_BPF(&ai);
    if (bpf == 0 || !s.session || !s.session->shown() || !s.pool || GST_VIDEO_INFO_FPS_N(&scope->vinfo) <= 0) {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    const int fpsN = GST_VIDEO_INFO_FPS_N(&scope->vinfo), fpsD = GST_VIDEO_INFO_FPS_D(&scope->vinfo);
    if (!s.started || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT)) {
        const int64_t first = FirstSample(s, buffer, rate);
        if (!s.started || first != s.tail.end()) {
            s.tail.reset(first);
            s.nextFrame = qvgst::FirstFrameFrom(std::max<int64_t>(first, 0), rate, fpsN, fpsD);
        }
        s.started = true;
    }
    if (std::exchange(s.regrid, false))
        s.nextFrame = qvgst::FirstFrameFrom(std::max<int64_t>(s.tail.end(), 0), rate, fpsN, fpsD);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    const auto format = GST_AUDIO_INFO_FORMAT(&ai) == GST_AUDIO_FORMAT_S16 ? qvgst::SampleFormat::S16
                                                                            : qvgst::SampleFormat::F32;
    // A chunk at a time, each followed by the frames it completes.
    const auto *bytes = static_cast<const uint8_t *>(map.data);
    const int64_t count = static_cast<int64_t>(map.size / bpf);
    GstFlowReturn ret = GST_FLOW_OK;
    for (int64_t done = 0; ret == GST_FLOW_OK && done < count;) {
        done += s.tail.append(bytes + done * bpf, count - done, GST_AUDIO_INFO_CHANNELS(&ai), format);
        while (ret == GST_FLOW_OK && qvgst::FrameSample(s.nextFrame, rate, fpsN, fpsD) < s.tail.end())
            ret = PushFrame(self, s.nextFrame++);
    }
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    return ret;
}

gboolean SinkEvent(GstPad *pad, GstObject *parent, GstEvent *event)
{
    ElementState &s = State(parent);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT:
        gst_event_copy_segment(event, &s.segment);
        break;
    case GST_EVENT_FLUSH_STOP:
        s.started = false;
        GST_OBJECT_LOCK(parent);
        s.earliest = GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(parent);
        break;
    default:
        break;
    }
    return s.baseSinkEvent(pad, parent, event);
}

// QoS: a sink that is late says when the next frame can still be shown.
gboolean SrcEvent(GstPad *pad, GstObject *parent, GstEvent *event)
{
    ElementState &s = State(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_QOS) {
        GstClockTimeDiff diff;
        GstClockTime timestamp;
        gst_event_parse_qos(event, nullptr, nullptr, &diff, &timestamp);
        GST_OBJECT_LOCK(parent);
        s.earliest = diff > 0 ? timestamp + diff : GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(parent);
    }
    return s.baseSrcEvent(pad, parent, event);
}

GstStateChangeReturn ChangeState(GstElement *element, GstStateChange transition)
{
    GstQuorvanta *self = GST_QUORVANTA(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED && !StartSession(self))
        return GST_STATE_CHANGE_FAILURE;
    const GstStateChangeReturn ret = GST_ELEMENT_CLASS(gst_quorvanta_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY || transition == GST_STATE_CHANGE_READY_TO_NULL ||
        (transition == GST_STATE_CHANGE_READY_TO_PAUSED && ret == GST_STATE_CHANGE_FAILURE))
        EndSession(self);
    return ret;
}

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *spec)
{
    GstQuorvanta *self = GST_QUORVANTA(object);
    if (id != PROP_PLUGIN) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    const char *path = g_value_get_string(value);
    GST_OBJECT_LOCK(self);
    self->state->pluginPath = path ? path : "";
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *spec)
{
    if (id != PROP_PLUGIN) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    g_value_set_string(value, PluginPath(GST_QUORVANTA(object)).c_str());
}

void Finalize(GObject *object)
{
    GstQuorvanta *self = GST_QUORVANTA(object);
    EndSession(self);
    delete self->state;
    G_OBJECT_CLASS(gst_quorvanta_parent_class)->finalize(object);
}

} // namespace

static void gst_quorvanta_class_init(GstQuorvantaClass *klass)
{
    GObjectClass *object = G_OBJECT_CLASS(klass);
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    GstAudioVisualizerClass *scope = GST_AUDIO_VISUALIZER_CLASS(klass);
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    object->finalize = Finalize;
    g_object_class_install_property(
        object, PROP_PLUGIN,
        g_param_spec_string("plugin", "Plug-in bundle",
                            "Path of the visual plug-in bundle to host (default: the installed quorvanta.so)",
                            nullptr, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_set_static_metadata(element, "Quorvanta", "Visualization",
                                          "Draws the Quorvanta music visual from the audio", "Quorvanta developers");
    gst_element_class_add_static_pad_template(element, &kSinkTemplate);
    gst_element_class_add_static_pad_template(element, &kSrcTemplate);
    element->change_state = ChangeState;
    scope->setup = Setup;
    scope->decide_allocation = DecideAllocation;
    // No render(): the element cuts the audio itself (see the header).
}

static void gst_quorvanta_init(GstQuorvanta *self)
{
    self->state = new ElementState;
    // The base class made the pads; the element takes their audio and events
    // first (frames on the video's grid, the segment, QoS), then hands the
    // events on.
    GstPad *sink = GST_PAD(GST_ELEMENT(self)->sinkpads->data);
    self->state->baseSinkEvent = GST_PAD_EVENTFUNC(sink);
    self->state->baseSrcEvent = GST_PAD_EVENTFUNC(SrcPad(self));
    gst_pad_set_chain_function(sink, Chain);
    gst_pad_set_event_function(sink, SinkEvent);
    gst_pad_set_event_function(SrcPad(self), SrcEvent);
    gst_segment_init(&self->state->segment, GST_FORMAT_TIME);
}

gboolean gst_quorvanta_register(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(quorvanta_debug, "quorvanta", 0, "Quorvanta visualization");
    return gst_element_register(plugin, "quorvanta", GST_RANK_NONE, GST_TYPE_QUORVANTA);
}
