// The GStreamer plug-in that holds the `quorvanta` element.
#include <gst/gst.h>

#include "gst/quorvanta_element.h"

#ifndef PACKAGE
#define PACKAGE "quorvanta"
#endif

static gboolean plugin_init(GstPlugin *plugin)
{
    return gst_quorvanta_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quorvanta,
                  "The Quorvanta music visual as a visualization element", plugin_init, QV_VERSION, "MIT/X11",
                  "quorvanta", "Unknown package origin")
