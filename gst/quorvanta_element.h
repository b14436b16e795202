// The `quorvanta` element: audio in, the visual's frames out.
//
//   sink: audio/x-raw, F32LE or S16LE, interleaved, 1 or 2 channels, 8 to 192 kHz
//   src:  video/x-raw, the port's pixel format (native 32-bit ARGB words:
//         BGRx on little-endian machines), any size the plug-in registered
//         for and the GL can draw, any fixed framerate; left open,
//         1280x720 at 60 fps
//   property "plugin": the bundle to host (default: the installed one, or in
//         a build tree the one built beside the element)
//   property "smooth": samples per pixel (smooth edges; 0 or 1: plain), as
//         `quorvanta render --smooth`, the same default
//   property "fit": auto, crop or contain, as `quorvanta render --fit`
//
// Frame n of a stream stands at running time n / framerate: it carries the
// kAnalysisSize samples before that moment and the visual's clock reads the
// whole seconds of it, as in `quorvanta render`, so a file gives the same
// frames through a pipeline as through the program.
//
// GstAudioVisualizer negotiates the caps, finds the buffer pool and answers
// the latency query; the element cuts the audio itself, on the video's grid
// of frames (the base class draws whenever enough audio has come, at places
// that depend on how upstream cuts its buffers), and skips frames a late sink
// could no longer show. The base class's "shader" and "shade-amount"
// properties have no effect here (GObject keeps a base class's properties
// on its subclasses); the element's description says so.
#pragma once

#include <gst/gst.h>
#include <gst/pbutils/gstaudiovisualizer.h>

G_BEGIN_DECLS

#define GST_TYPE_QUORVANTA (gst_quorvanta_get_type())
G_DECLARE_FINAL_TYPE(GstQuorvanta, gst_quorvanta, GST, QUORVANTA, GstAudioVisualizer)

// Registers the element with `plugin`.
gboolean gst_quorvanta_register(GstPlugin *plugin);

G_END_DECLS
