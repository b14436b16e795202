#include "gst/quorvanta_element.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include "host/common/defaults.h"
#include "host/common/messages.h"
#include "host/visual/hosted_visual.h"
#include "host/visual/stream_frames.h"
#include "host/visual/visual_thread.h"
#include "platform/qd_port.h"

GST_DEBUG_CATEGORY_STATIC(gst_quorvanta_debug);
#define GST_CAT_DEFAULT gst_quorvanta_debug

namespace {

#if G_BYTE_ORDER == G_LITTLE_ENDIAN
#define QV_VIDEO_FORMAT "BGRx" // native ARGB words, lowest byte first
#else
#define QV_VIDEO_FORMAT "xRGB"
#endif
// The largest port side (kQVPortMaxSide), spelled out for the caps.
#define QV_MAX_SIDE "32767"
static_assert(kQVPortMaxSide == 32767, "QV_MAX_SIDE must follow the port's limit");

GstStaticPadTemplate gst_quorvanta_sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) { " GST_AUDIO_NE(F32) ", " GST_AUDIO_NE(
                                S16) " }, "
                                     "layout = (string) interleaved, channels = (int) [ 1, 2 ], "
                                     "rate = (int) [ 8000, 192000 ]"));

// The frames the element gives, the most wanted first: the default size at
// the default rate, the default rate at any size, the default size at any
// rate, anything. GstAudioVisualizer fixates the first that downstream
// takes, so a sink that leaves the size or the rate open gets the default
// rather than the base class's 320x200 at 25 fps.
GstCaps *gst_quorvanta_src_template_caps()
{
    const std::string video = "video/x-raw, format = (string) " QV_VIDEO_FORMAT;
    const std::string size = ", width = (int) " + std::to_string(qvhost::kDefaultWidth) +
                             ", height = (int) " + std::to_string(qvhost::kDefaultHeight);
    const std::string sizes = ", width = (int) [ 1, " QV_MAX_SIDE " ], height = (int) [ 1, " QV_MAX_SIDE " ]";
    const std::string rate = ", framerate = (fraction) " + std::to_string(qvhost::kDefaultFps) + "/1";
    const std::string rates = ", framerate = (fraction) [ 1/1, " + std::to_string(qvhost::kMaxFps) + "/1 ]";
    return gst_caps_from_string((video + size + rate + "; " + video + sizes + rate + "; " + video + size + rates +
                                 "; " + video + sizes + rates)
                                    .c_str());
}

enum { PROP_0, PROP_PLUGIN, PROP_SMOOTH, PROP_FIT };

// The "fit" property's values: qvhost::Fit.
GType gst_quorvanta_fit_get_type()
{
    static const GEnumValue values[] = {
        {static_cast<gint>(qvhost::Fit::Auto), "contain for frames taller than wide, else crop", "auto"},
        {static_cast<gint>(qvhost::Fit::Crop), "the visual takes the frame's shape", "crop"},
        {static_cast<gint>(qvhost::Fit::Contain),
         "the whole scene in its own 16:9 shape, the rest filled with its edge colour", "contain"},
        {0, nullptr, nullptr}};
    static GType type = g_enum_register_static("GstQuorvantaFit", values);
    return type;
}

// QoS messages rate processing from 0 to 1000000: every frame is drawn in
// full, only some are not drawn at all.
constexpr gint kFullQuality = 1000000;

// Everything of one element beyond the base class. The stream state is the
// streaming thread's; `pluginPath`, `samples`, `fit`, `earliest` and the QoS
// counts are guarded by the object lock.
struct ElementState {
    std::string pluginPath;                  // empty: qvhost::DefaultBundlePath()
    guint samples = qvhost::kDefaultSamples; // smooth edges, from the next caps on
    qvhost::Fit fit = qvhost::Fit::Auto;
    GstPadEventFunction baseSinkEvent = nullptr, baseSrcEvent = nullptr;
    GstPadQueryFunction baseSrcQuery = nullptr;
    std::optional<qvhost::SizeRange> sizes; // what the hosted visual can be shown at, once started

    std::unique_ptr<qvhost::VisualThread> thread; // from READY to PAUSED ...
    std::unique_ptr<qvhost::HostedVisual> visual; // ... until back to READY, made and used on `thread`
    GstBufferPool *pool = nullptr;                // the base class's, from decide_allocation
    GstBuffer *previous = nullptr;                // the last frame, lent to the port until the next is drawn
    GstSegment segment;
    qvhost::StreamFrames frames;
    GstClockTime earliest = GST_CLOCK_TIME_NONE; // QoS: frames that end before it are late
    guint64 processed = 0, dropped = 0;          // frames, for QoS messages
};

} // namespace

struct _GstQuorvanta {
    GstAudioVisualizer parent;
    ElementState *state;
};

G_DEFINE_TYPE(GstQuorvanta, gst_quorvanta, GST_TYPE_AUDIO_VISUALIZER)

namespace {

GstPad *gst_quorvanta_src_pad(GstQuorvanta *self)
{
    return GST_PAD(GST_ELEMENT(self)->srcpads->data);
}

std::string gst_quorvanta_plugin_path(GstQuorvanta *self)
{
    GST_OBJECT_LOCK(self);
    std::string path = self->state->pluginPath;
    GST_OBJECT_UNLOCK(self);
    return path.empty() ? qvhost::DefaultBundlePath() : path;
}

// Posts the error of a failed call into the visual on the bus.
void gst_quorvanta_post_error(GstQuorvanta *self, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const qvhost::VisualError &e) {
        switch (e.kind()) {
        case qvhost::VisualError::Kind::Load:
        case qvhost::VisualError::Kind::Start:
            GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", e.what()), (nullptr));
            break;
        case qvhost::VisualError::Kind::Size:
        case qvhost::VisualError::Kind::Show:
            GST_ELEMENT_ERROR(self, LIBRARY, SETTINGS, ("%s", e.what()), (nullptr));
            break;
        case qvhost::VisualError::Kind::Withdrawn:
            GST_ELEMENT_ERROR(self, LIBRARY, FAILED, ("%s", e.what()), (nullptr));
            break;
        }
    } catch (const std::exception &e) {
        GST_ELEMENT_ERROR(self, LIBRARY, FAILED, ("quorvanta: %s", e.what()), (nullptr));
    } catch (...) {
        GST_ELEMENT_ERROR(self, LIBRARY, FAILED, ("quorvanta: unknown failure"), (nullptr));
    }
}

// Runs `job` on the visual's thread; a failure becomes an error message.
bool gst_quorvanta_on_visual(GstQuorvanta *self, const std::function<void()> &job)
{
    try {
        self->state->thread->run(job);
        return true;
    } catch (...) {
        gst_quorvanta_post_error(self, std::current_exception());
    }
    return false;
}

void gst_quorvanta_stop(GstQuorvanta *self)
{
    ElementState &s = *self->state;
    if (s.thread) {
        gst_quorvanta_on_visual(self, [&] { s.visual.reset(); });
        s.thread.reset();
    }
    gst_buffer_replace(&s.previous, nullptr);
    GST_OBJECT_LOCK(self);
    s.sizes.reset();
    GST_OBJECT_UNLOCK(self);
    if (s.pool) {
        gst_buffer_pool_set_active(s.pool, FALSE);
        gst_clear_object(&s.pool);
    }
    s.frames.reset();
}

bool gst_quorvanta_start(GstQuorvanta *self)
{
    ElementState &s = *self->state;
    const std::string path = gst_quorvanta_plugin_path(self);
    s.thread = std::make_unique<qvhost::VisualThread>();
    gst_segment_init(&s.segment, GST_FORMAT_TIME);
    GST_OBJECT_LOCK(self);
    s.processed = s.dropped = 0;
    GST_OBJECT_UNLOCK(self);
    GST_DEBUG_OBJECT(self, "hosting %s", path.c_str());
    if (gst_quorvanta_on_visual(self, [&] { s.visual = std::make_unique<qvhost::HostedVisual>(path); })) {
        GST_OBJECT_LOCK(self);
        s.sizes = s.visual->sizes();
        GST_OBJECT_UNLOCK(self);
        return true;
    }
    gst_quorvanta_stop(self);
    return false;
}

// The base class has fixed the caps (scope->vinfo, scope->ainfo): show the
// visual at that size, with frames from here on on the new grid. Called on
// the streaming thread.
gboolean gst_quorvanta_setup(GstAudioVisualizer *scope)
{
    GstQuorvanta *self = GST_QUORVANTA(scope);
    ElementState &s = *self->state;
    if (!s.visual)
        return FALSE; // starting failed and said why
    const int width = GST_VIDEO_INFO_WIDTH(&scope->vinfo), height = GST_VIDEO_INFO_HEIGHT(&scope->vinfo);
    s.frames.setRates(GST_AUDIO_INFO_RATE(&scope->ainfo),
                      {GST_VIDEO_INFO_FPS_N(&scope->vinfo), std::max(GST_VIDEO_INFO_FPS_D(&scope->vinfo), 1)});
    GST_OBJECT_LOCK(self);
    const int samples = static_cast<int>(s.samples);
    const qvhost::Fit fit = s.fit;
    GST_OBJECT_UNLOCK(self);
    GST_DEBUG_OBJECT(self, "showing the visual at %dx%d", width, height);
    return gst_quorvanta_on_visual(self, [&] {
        s.visual->setSamples(samples);
        s.visual->show(width, height, fit);
    });
}

gboolean gst_quorvanta_decide_allocation(GstAudioVisualizer *scope, GstQuery *query)
{
    const auto *base = GST_AUDIO_VISUALIZER_CLASS(gst_quorvanta_parent_class);
    if (!base->decide_allocation(scope, query))
        return FALSE;
    ElementState &s = *GST_QUORVANTA(scope)->state;
    if (s.pool)
        gst_buffer_pool_set_active(s.pool, FALSE);
    gst_clear_object(&s.pool);
    if (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_parse_nth_allocation_pool(query, 0, &s.pool, nullptr, nullptr, nullptr);
    return s.pool != nullptr;
}

// Where in running time the buffer's first sample lies, in samples.
int64_t gst_quorvanta_first_sample(const ElementState &s, GstBuffer *buffer, int rate)
{
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts))
        return s.frames.end();
    const guint64 rt = gst_segment_to_running_time(&s.segment, GST_FORMAT_TIME, pts);
    return GST_CLOCK_TIME_IS_VALID(rt) ? static_cast<int64_t>(gst_util_uint64_scale_round(rt, rate, GST_SECOND))
                                       : s.frames.end();
}

// Counts a frame for QoS; a frame that ends at `end` (running time) too late
// for the sink is dropped, with a QoS message saying so.
bool gst_quorvanta_keep_frame(GstQuorvanta *self, GstClockTime start, GstClockTime end)
{
    ElementState &s = *self->state;
    GST_OBJECT_LOCK(self);
    const GstClockTime earliest = s.earliest;
    const bool late = GST_CLOCK_TIME_IS_VALID(earliest) && end <= earliest;
    ++s.processed;
    s.dropped += late;
    const guint64 processed = s.processed, dropped = s.dropped;
    GST_OBJECT_UNLOCK(self);
    if (!late)
        return true;
    GST_DEBUG_OBJECT(self, "skipping a frame at %" GST_TIME_FORMAT ": the sink wants frames from %" GST_TIME_FORMAT,
                     GST_TIME_ARGS(start), GST_TIME_ARGS(earliest));
    const guint64 stream = gst_segment_to_stream_time(&s.segment, GST_FORMAT_TIME, start);
    GstMessage *qos = gst_message_new_qos(GST_OBJECT(self), FALSE, start, stream, start, end - start);
    gst_message_set_qos_values(qos, static_cast<gint64>(earliest - start), 1.0, kFullQuality);
    gst_message_set_qos_stats(qos, GST_FORMAT_BUFFERS, processed, dropped);
    gst_element_post_message(GST_ELEMENT(self), qos);
    return false;
}

// Draws frame n into a buffer of the pool and pushes it.
GstFlowReturn gst_quorvanta_push_frame(GstQuorvanta *self, int64_t n)
{
    GstAudioVisualizer *scope = GST_AUDIO_VISUALIZER(self);
    ElementState &s = *self->state;
    const GstVideoInfo &vi = scope->vinfo;
    const int fpsN = GST_VIDEO_INFO_FPS_N(&vi), fpsD = GST_VIDEO_INFO_FPS_D(&vi);
    const GstClockTime rt = gst_util_uint64_scale(n, GST_SECOND * fpsD, fpsN);
    const GstClockTime next = gst_util_uint64_scale(n + 1, GST_SECOND * fpsD, fpsN);
    if (!gst_quorvanta_keep_frame(self, rt, next))
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
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("quorvanta: cannot write into an output buffer"), (nullptr));
        return GST_FLOW_ERROR;
    }
    auto *rows = static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    bool lent = false;
    const bool drawn = gst_quorvanta_on_visual(self, [&] {
        lent = s.visual->drawFrame(n, s.frames.fps(), s.frames.audio(), s.frames.rate(), rows,
                                   GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    });
    gst_video_frame_unmap(&frame);
    if (!drawn) {
        gst_buffer_unref(out);
        return GST_FLOW_ERROR;
    }
    const guint64 pts = gst_segment_position_from_running_time(&s.segment, GST_FORMAT_TIME, rt);
    GST_BUFFER_PTS(out) = GST_CLOCK_TIME_IS_VALID(pts) ? pts : rt;
    GST_BUFFER_DURATION(out) = next - rt;
    gst_buffer_replace(&s.previous, lent ? out : nullptr);
    GST_LOG_OBJECT(self, "frame %" G_GINT64_FORMAT " at %" GST_TIME_FORMAT, n, GST_TIME_ARGS(rt));
    return gst_pad_push(gst_quorvanta_src_pad(self), out);
}

GstFlowReturn gst_quorvanta_chain(GstPad *pad, GstObject *parent, GstBuffer *buffer)
{
    GstQuorvanta *self = GST_QUORVANTA(parent);
    GstAudioVisualizer *scope = GST_AUDIO_VISUALIZER(parent);
    ElementState &s = *self->state;
    if (gst_pad_check_reconfigure(gst_quorvanta_src_pad(self))) { // downstream asks for other caps
        GstCaps *caps = gst_pad_get_current_caps(pad);
        if (caps && !s.baseSinkEvent(pad, parent, gst_event_new_caps(caps)))
            gst_pad_mark_reconfigure(gst_quorvanta_src_pad(self));
        if (caps)
            gst_caps_unref(caps);
    }
    const GstAudioInfo &ai = scope->ainfo;
    const int bpf = GST_AUDIO_INFO_BPF(&ai);
    if (bpf == 0 || !s.visual || !s.visual->shown() || !s.pool || GST_VIDEO_INFO_FPS_N(&scope->vinfo) <= 0) {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    if (!s.frames.placed() || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT))
        s.frames.place(gst_quorvanta_first_sample(s, buffer, GST_AUDIO_INFO_RATE(&ai)));
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("quorvanta: cannot read an input buffer"), (nullptr));
        return GST_FLOW_ERROR;
    }
    const auto format =
        GST_AUDIO_INFO_FORMAT(&ai) == GST_AUDIO_FORMAT_S16 ? qvhost::SampleFormat::S16 : qvhost::SampleFormat::F32;
    GstFlowReturn ret = GST_FLOW_OK;
    s.frames.append(map.data, static_cast<int64_t>(map.size / bpf), GST_AUDIO_INFO_CHANNELS(&ai), format,
                    [&](int64_t n) { return (ret = gst_quorvanta_push_frame(self, n)) == GST_FLOW_OK; });
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    return ret;
}

gboolean gst_quorvanta_sink_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    GstQuorvanta *self = GST_QUORVANTA(parent);
    ElementState &s = *self->state;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT: {
        GstSegment segment;
        gst_event_copy_segment(event, &segment);
        if (segment.format != GST_FORMAT_TIME) { // frames stand at times: nothing else places audio
            GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                              ("quorvanta: audio in a %s segment; the element needs a TIME segment",
                               gst_format_get_name(segment.format)),
                              (nullptr));
            gst_event_unref(event);
            return FALSE;
        }
        s.segment = segment;
        break;
    }
    case GST_EVENT_FLUSH_STOP:
        s.frames.reset();
        GST_OBJECT_LOCK(self);
        s.earliest = GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(self);
        break;
    default:
        break;
    }
    return s.baseSinkEvent(pad, parent, event);
}

// An int field of a structure: `lo` alone or the range up to `hi`.
void gst_quorvanta_set_int_range(GstStructure *s, const char *field, int lo, int hi)
{
    if (lo < hi)
        gst_structure_set(s, field, GST_TYPE_INT_RANGE, lo, hi, nullptr);
    else
        gst_structure_set(s, field, G_TYPE_INT, lo, nullptr);
}

// Once the visual has started, the element offers only the sizes it can be
// shown at: what the plug-in registered for, within what the GL can draw.
gboolean gst_quorvanta_src_query(GstPad *pad, GstObject *parent, GstQuery *query)
{
    GstQuorvanta *self = GST_QUORVANTA(parent);
    ElementState &s = *self->state;
    GST_OBJECT_LOCK(self);
    const std::optional<qvhost::SizeRange> sizes = s.sizes;
    GST_OBJECT_UNLOCK(self);
    if (GST_QUERY_TYPE(query) != GST_QUERY_CAPS || !sizes)
        return s.baseSrcQuery(pad, parent, query);
    GstCaps *filter = nullptr;
    gst_query_parse_caps(query, &filter);
    GstCaps *limits = gst_caps_new_empty_simple("video/x-raw");
    gst_quorvanta_set_int_range(gst_caps_get_structure(limits, 0), "width", sizes->minWidth, sizes->maxWidth);
    gst_quorvanta_set_int_range(gst_caps_get_structure(limits, 0), "height", sizes->minHeight, sizes->maxHeight);
    GstCaps *templ = gst_pad_get_pad_template_caps(pad);
    GstCaps *caps = gst_caps_intersect_full(templ, limits, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(templ);
    gst_caps_unref(limits);
    if (filter) {
        GstCaps *filtered = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = filtered;
    }
    gst_query_set_caps_result(query, caps);
    gst_caps_unref(caps);
    return TRUE;
}

// QoS: a sink that is late says when the next frame can still be shown.
gboolean gst_quorvanta_src_event(GstPad *pad, GstObject *parent, GstEvent *event)
{
    GstQuorvanta *self = GST_QUORVANTA(parent);
    ElementState &s = *self->state;
    if (GST_EVENT_TYPE(event) == GST_EVENT_QOS) {
        GstClockTimeDiff diff;
        GstClockTime timestamp;
        gst_event_parse_qos(event, nullptr, nullptr, &diff, &timestamp);
        GST_OBJECT_LOCK(self);
        s.earliest = diff > 0 ? timestamp + diff : GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(self);
    }
    return s.baseSrcEvent(pad, parent, event);
}

GstStateChangeReturn gst_quorvanta_change_state(GstElement *element, GstStateChange transition)
{
    GstQuorvanta *self = GST_QUORVANTA(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED && !gst_quorvanta_start(self))
        return GST_STATE_CHANGE_FAILURE;
    const GstStateChangeReturn ret = GST_ELEMENT_CLASS(gst_quorvanta_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY || transition == GST_STATE_CHANGE_READY_TO_NULL ||
        (transition == GST_STATE_CHANGE_READY_TO_PAUSED && ret == GST_STATE_CHANGE_FAILURE))
        gst_quorvanta_stop(self);
    return ret;
}

void gst_quorvanta_set_property(GObject *object, guint id, const GValue *value, GParamSpec *spec)
{
    GstQuorvanta *self = GST_QUORVANTA(object);
    ElementState &s = *self->state;
    GST_OBJECT_LOCK(self);
    switch (id) {
    case PROP_PLUGIN: {
        const char *path = g_value_get_string(value);
        s.pluginPath = path ? path : "";
        break;
    }
    case PROP_SMOOTH:
        s.samples = g_value_get_uint(value);
        break;
    case PROP_FIT:
        s.fit = static_cast<qvhost::Fit>(g_value_get_enum(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
    GST_OBJECT_UNLOCK(self);
}

void gst_quorvanta_get_property(GObject *object, guint id, GValue *value, GParamSpec *spec)
{
    GstQuorvanta *self = GST_QUORVANTA(object);
    ElementState &s = *self->state;
    switch (id) {
    case PROP_PLUGIN:
        g_value_set_string(value, gst_quorvanta_plugin_path(self).c_str());
        return;
    case PROP_SMOOTH:
    case PROP_FIT:
        GST_OBJECT_LOCK(self);
        if (id == PROP_SMOOTH)
            g_value_set_uint(value, s.samples);
        else
            g_value_set_enum(value, static_cast<gint>(s.fit));
        GST_OBJECT_UNLOCK(self);
        return;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void gst_quorvanta_finalize(GObject *object)
{
    GstQuorvanta *self = GST_QUORVANTA(object);
    gst_quorvanta_stop(self);
    delete self->state;
    G_OBJECT_CLASS(gst_quorvanta_parent_class)->finalize(object);
}

// What the host library says goes to the element's debug category.
void gst_quorvanta_log_host_message(bool warning, const std::string &text)
{
    if (warning)
        GST_WARNING("%s", text.c_str());
    else
        GST_INFO("%s", text.c_str());
}

} // namespace

static void gst_quorvanta_class_init(GstQuorvantaClass *klass)
{
    GObjectClass *object = G_OBJECT_CLASS(klass);
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    GstAudioVisualizerClass *scope = GST_AUDIO_VISUALIZER_CLASS(klass);
    object->set_property = gst_quorvanta_set_property;
    object->get_property = gst_quorvanta_get_property;
    object->finalize = gst_quorvanta_finalize;
    g_object_class_install_property(
        object, PROP_PLUGIN,
        g_param_spec_string("plugin", "Plug-in bundle",
                            "Path of the visual plug-in bundle to host (default: the installed quorvanta.so)", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object, PROP_SMOOTH,
        g_param_spec_uint("smooth", "Smooth edges",
                          "Samples per pixel the visual is drawn with (0 or 1: plain edges; the GL may use fewer), "
                          "from the next caps on",
                          0, qvhost::kMaxSamples, qvhost::kDefaultSamples,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object, PROP_FIT,
        g_param_spec_enum("fit", "Fit", "How the visual fills a frame of another shape than its own (16:9)",
                          gst_quorvanta_fit_get_type(), static_cast<gint>(qvhost::Fit::Auto),
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_set_static_metadata(element, "Quorvanta", "Visualization",
                                          "Draws the Quorvanta music visual from the audio (the shader and "
                                          "shade-amount properties of its base class have no effect: each frame "
                                          "is drawn whole)",
                                          "Quorvanta developers");
    gst_element_class_add_static_pad_template(element, &gst_quorvanta_sink_template);
    GstCaps *src = gst_quorvanta_src_template_caps();
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, src));
    gst_caps_unref(src);
    element->change_state = GST_DEBUG_FUNCPTR(gst_quorvanta_change_state);
    scope->setup = GST_DEBUG_FUNCPTR(gst_quorvanta_setup);
    scope->decide_allocation = GST_DEBUG_FUNCPTR(gst_quorvanta_decide_allocation);
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
    self->state->baseSrcEvent = GST_PAD_EVENTFUNC(gst_quorvanta_src_pad(self));
    self->state->baseSrcQuery = GST_PAD_QUERYFUNC(gst_quorvanta_src_pad(self));
    gst_pad_set_chain_function(sink, GST_DEBUG_FUNCPTR(gst_quorvanta_chain));
    gst_pad_set_event_function(sink, GST_DEBUG_FUNCPTR(gst_quorvanta_sink_event));
    gst_pad_set_event_function(gst_quorvanta_src_pad(self), GST_DEBUG_FUNCPTR(gst_quorvanta_src_event));
    gst_pad_set_query_function(gst_quorvanta_src_pad(self), GST_DEBUG_FUNCPTR(gst_quorvanta_src_query));
    gst_segment_init(&self->state->segment, GST_FORMAT_TIME);
}

gboolean gst_quorvanta_register(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(gst_quorvanta_debug, "quorvanta", 0, "Quorvanta visualization");
    qvhost::SetMessageSink(gst_quorvanta_log_host_message);
    return gst_element_register(plugin, "quorvanta", GST_RANK_NONE, GST_TYPE_QUORVANTA);
}
