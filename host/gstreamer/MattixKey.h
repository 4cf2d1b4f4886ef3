#pragma once
// GstMattixKey, the GStreamer element `mattixkey`: a video filter on BGRA
// and RGBA frames that keys each one through the Mattix effect module with
// a project file, by the plug-in keyer of render/PluginKeyer.h (the project
// read again when it changes, the last good key kept, frames that cannot be
// keyed marked with magenta stripes). Its properties: `project`, `matte`,
// and the numbers of project/PluginSettings.h by the same names as the
// frei0r plug-in's (softness, spill, despill, clipblack, clipwhite,
// shrinkgrow, feather, despilledge, unmix, refine, closeholes: 0 to 1, below
// 0 the project's, the default).
//
//   gst-launch-1.0 filesrc location=in.png ! pngdec ! videoconvert !
//     mattixkey project=key.json ! videoconvert ! pngenc ! filesink location=out.png
//
// A module that cannot be loaded stops the pipeline with an error naming
// it; messages about the project are warnings on the bus.
#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

GType gst_mattix_key_get_type(void);
#define GST_TYPE_MATTIX_KEY (gst_mattix_key_get_type())

G_END_DECLS
