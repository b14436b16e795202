// The VLC 3.0 module `quorvanta`: the visual as one of VLC's visualizations
// (capability "visualization", chosen with `--audio-visual=quorvanta` or in
// the preferences under Audio > Visualizations). It is an audio filter that
// passes the FL32 audio on untouched and shows the visual's frames, RV32 at
// the size and rate of its options, in a vout it asks the audio output for,
// so every VLC video output shows them. What it holds while open is a
// Visualization (visualization.h).
//
// Anything wrong with the options or the bundle gets one error in VLC's log
// and a refusal to open: VLC then plays the sound without the visual.
#include <cinttypes>
#include <exception>
#include <memory>
#include <string>

// VLC's plug-in headers leave the translation markers to the module.
#define N_(text) (text)
// What the module tells VLC about itself (vlc_entry_copyright and
// vlc_entry_license): VLC 3.0 has no module property for a licence.
#define VLC_MODULE_COPYRIGHT "Copyright (C) the Quorvanta developers"
#define VLC_MODULE_LICENSE "Licensed under the terms of the MIT License."
// vlc_common.h first.
// clang-format off
#include <vlc_common.h>
#include <vlc_plugin.h>
#include <vlc_aout.h>
#include <vlc_filter.h>
#include <vlc_vout.h>
// clang-format on

#include "host/common/defaults.h"
#include "host/visual/hosted_visual.h"
#include "platform/qd_port.h"
#include "vlc/visualization.h"

namespace {

// The bundle's path when nothing else is asked for, worked out once.
const char *DefaultBundle()
{
    static const std::string path = qvhost::DefaultBundlePath();
    return path.c_str();
}

qvvlc::Visualization *Sys(filter_t *filter)
{
    return reinterpret_cast<qvvlc::Visualization *>(filter->p_sys);
}

block_t *DoWork(filter_t *filter, block_t *block)
{
    try {
        Sys(filter)->feed(block);
    } catch (const std::exception &e) { // no memory: this block is not shown
        msg_Warn(filter, "%s", e.what());
    }
    return block; // the sound plays on as it came
}

void Flush(filter_t *filter)
{
    Sys(filter)->flush();
}

block_t *Drain(filter_t *filter)
{
    Sys(filter)->drain();
    return nullptr; // no sound of its own
}

// Reads the option `name`, which must lie in [low, high]; says why not.
bool Option(filter_t *filter, const char *name, int64_t low, int64_t high, int &value)
{
    const int64_t v = var_InheritInteger(filter, name);
    if (v < low || v > high) {
        msg_Err(filter, "%s %" PRId64 ": must be %" PRId64 " to %" PRId64, name, v, low, high);
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

int Open(vlc_object_t *object)
{
    filter_t *filter = reinterpret_cast<filter_t *>(object);
    qvvlc::Settings settings;
    if (!Option(filter, "quorvanta-width", 1, kQVPortMaxSide, settings.width) ||
        !Option(filter, "quorvanta-height", 1, kQVPortMaxSide, settings.height) ||
        !Option(filter, "quorvanta-fps", 1, qvhost::kMaxFps, settings.fps))
        return VLC_EGENERIC;
    if (filter->fmt_in.audio.i_rate == 0 || aout_FormatNbChannels(&filter->fmt_in.audio) == 0) {
        msg_Err(filter, "no audio to show: %u Hz, %u channels", filter->fmt_in.audio.i_rate,
                aout_FormatNbChannels(&filter->fmt_in.audio));
        return VLC_EGENERIC;
    }
    if (char *path = var_InheritString(filter, "quorvanta-plugin")) {
        settings.bundle = path;
        free(path);
    }
    // FL32 in and the same out: the audio output converts to it before the filter.
    filter->fmt_in.audio.i_format = VLC_CODEC_FL32;
    aout_FormatPrepare(&filter->fmt_in.audio);
    filter->fmt_in.i_codec = VLC_CODEC_FL32;
    filter->fmt_out.audio = filter->fmt_in.audio;
    filter->fmt_out.i_codec = VLC_CODEC_FL32;

    std::unique_ptr<qvvlc::Visualization> visualization;
    try {
        visualization = std::make_unique<qvvlc::Visualization>(filter, settings);
    } catch (const std::exception &e) {
        msg_Err(filter, "%s", e.what()); // names the bundle and the reason
        return VLC_EGENERIC;
    }
    // Native 32-bit ARGB words, the visual's own pixels.
    video_format_t format;
    video_format_Init(&format, VLC_CODEC_RGB32);
    format.i_width = format.i_visible_width = static_cast<unsigned>(settings.width);
    format.i_height = format.i_visible_height = static_cast<unsigned>(settings.height);
    format.i_sar_num = format.i_sar_den = 1;
    format.i_frame_rate = static_cast<unsigned>(settings.fps);
    format.i_frame_rate_base = 1;
    format.i_rmask = 0x00FF0000;
    format.i_gmask = 0x0000FF00;
    format.i_bmask = 0x000000FF;
    vout_thread_t *vout = aout_filter_RequestVout(filter, nullptr, &format);
    if (!vout) {
        msg_Err(filter, "no video output for the visual at %dx%d", settings.width, settings.height);
        return VLC_EGENERIC;
    }
    visualization->start(vout);
    filter->p_sys = reinterpret_cast<filter_sys_t *>(visualization.release());
    filter->pf_audio_filter = DoWork;
    filter->pf_flush = Flush;
    filter->pf_audio_drain = Drain;
    msg_Dbg(filter, "showing the visual at %dx%d, %d fps, from %u Hz audio", settings.width, settings.height,
            settings.fps, filter->fmt_in.audio.i_rate);
    return VLC_SUCCESS;
}

void Close(vlc_object_t *object)
{
    filter_t *filter = reinterpret_cast<filter_t *>(object);
    delete Sys(filter);
}

} // namespace

#define WIDTH_TEXT N_("Width")
#define WIDTH_LONGTEXT N_("Width of the visual's video, in pixels.")
#define HEIGHT_TEXT N_("Height")
#define HEIGHT_LONGTEXT N_("Height of the visual's video, in pixels.")
#define FPS_TEXT N_("Frame rate")
#define FPS_LONGTEXT N_("Frames per second of the music's time.")
#define PLUGIN_TEXT N_("Visual plug-in bundle")
#define PLUGIN_LONGTEXT N_("The visual plug-in bundle to show (quorvanta.so).")

// Plain add_integer: with a range VLC would quietly clamp a bad value that
// Open should refuse with a message. One declaration a line, as VLC's own
// modules lay them out.
// clang-format off
vlc_module_begin()
    set_shortname("Quorvanta")
    set_description(N_("Quorvanta music visual"))
    set_category(CAT_AUDIO)
    set_subcategory(SUBCAT_AUDIO_VISUAL)
    set_capability("visualization", 0)
    add_integer("quorvanta-width", qvhost::kDefaultWidth, WIDTH_TEXT, WIDTH_LONGTEXT, false)
    add_integer("quorvanta-height", qvhost::kDefaultHeight, HEIGHT_TEXT, HEIGHT_LONGTEXT, false)
    add_integer("quorvanta-fps", qvhost::kDefaultFps, FPS_TEXT, FPS_LONGTEXT, false)
    add_loadfile("quorvanta-plugin", DefaultBundle(), PLUGIN_TEXT, PLUGIN_LONGTEXT, false)
    set_callbacks(Open, Close)
    add_shortcut("quorvanta")
vlc_module_end()
