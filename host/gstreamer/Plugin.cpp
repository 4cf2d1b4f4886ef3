// The GStreamer plug-in libgstmattix.so: registers the element mattixkey
// (MattixKey.h). Only the plug-in's description leaves it.
#include "host/gstreamer/MattixKey.h"

// GST_PLUGIN_DEFINE names the package the plug-in comes from.
#define PACKAGE "mattix"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
  return gst_element_register(plugin, "mattixkey", GST_RANK_NONE, GST_TYPE_MATTIX_KEY);
}

}  // namespace

#pragma GCC visibility push(default)
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, mattix,
                  "Mattix chroma key: the mattixkey video filter", PluginInit, MATTIX_VERSION,
                  "Proprietary", "Mattix", "Mattix")
#pragma GCC visibility pop
