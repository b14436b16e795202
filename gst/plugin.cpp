// The GStreamer plug-in that holds the `quorvanta` element.
#include <gst/gst.h>

#include "gst/quorvanta_element.h"

#ifndef PACKAGE
#define PACKAGE "quorvanta"
#endif

namespace {

gboolean PluginInit(GstPlugin *plugin)
{
    return gst_quorvanta_register(plugin);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quorvanta, "The Quorvanta music visual as a visualization element",
                  PluginInit, QV_VERSION, "Proprietary", "quorvanta", "https://quorvanta.invalid/")
