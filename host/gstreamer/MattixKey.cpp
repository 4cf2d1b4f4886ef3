#include "host/gstreamer/MattixKey.h"

#include "host/effect/KeyingEffect.h"
#include "host/media/Image.h"
#include "host/project/PluginSettings.h"
#include "host/render/PluginKeyer.h"

#include <dlfcn.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

namespace {

namespace project = mattix::project;

// The element's C++ state, owned by the GObject instance.
struct KeyState {
  std::unique_ptr<mattix::render::CPluginKeyer> keyer;  // from start() to stop()
  std::string project;
  std::array<double, project::kPluginSettingCount> values;  // as set: -1 is the project's
  bool matte = false;
  std::vector<std::uint8_t> swapped;  // an RGBA frame as BGRA

  KeyState() { values.fill(-1.0); }
};

}  // namespace

struct GstMattixKey {
  GstVideoFilter parent;
  KeyState* state;
};

struct GstMattixKeyClass {
  GstVideoFilterClass parent_class;
};

GST_DEBUG_CATEGORY_STATIC(mattix_key_debug);
#define GST_CAT_DEFAULT mattix_key_debug

G_DEFINE_TYPE(GstMattixKey, gst_mattix_key, GST_TYPE_VIDEO_FILTER)

namespace {

// Property ids: the project, the matte, then one a row of kPluginSettings.
enum : guint { kPropProject = 1, kPropMatte, kPropFirstSetting };

GstMattixKey* Self(gpointer object) { return reinterpret_cast<GstMattixKey*>(object); }

// The object's lock for a scope, released however the scope is left.
class ObjectLock {
 public:
  explicit ObjectLock(gpointer object) : m_object(object) { GST_OBJECT_LOCK(m_object); }
  ~ObjectLock() { GST_OBJECT_UNLOCK(m_object); }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;

 private:
  gpointer m_object;
};

// Where the installed layout puts the module, from this plug-in's folder:
// lib/<multiarch>/gstreamer-1.0 to lib/mattix (set by the build).
std::string InstalledModule() {
#ifdef MATTIX_GST_MODULE_FROM_PLUGIN
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&InstalledModule), &info) != 0 && info.dli_fname != nullptr)
    return (std::filesystem::path(info.dli_fname).parent_path() / MATTIX_GST_MODULE_FROM_PLUGIN)
        .string();
#endif
  return "";
}

// The module: MATTIX_MODULE when set, else the installed layout's, else
// where CKeyingEffect looks (next to the plug-in, the build tree). Throws
// HostError.
std::shared_ptr<mattix::host::CHostModule> LoadModule() {
  const char* variable = std::getenv("MATTIX_MODULE");
  const std::string installed = InstalledModule();
  std::error_code error;
  if ((variable == nullptr || *variable == '\0') && !installed.empty() &&
      std::filesystem::exists(installed, error))
    return mattix::host::CKeyingEffect::LoadModule(installed);
  return mattix::host::CKeyingEffect::LoadModule();
}

// GLib's callers are C: no exception (out of memory copying a path or a
// frame) may unwind into them. The callbacks that allocate (setting a
// property, start, a frame) catch and say what failed.
void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) try {
  KeyState& s = *Self(object)->state;
  const ObjectLock lock(object);
  if (id == kPropProject) {
    const gchar* path = g_value_get_string(value);
    s.project = path != nullptr ? path : "";
    if (s.keyer) s.keyer->SetProjectPath(s.project);
  } else if (id == kPropMatte) {
    s.matte = g_value_get_boolean(value);
    if (s.keyer) s.keyer->SetMatte(s.matte);
  } else if (id >= kPropFirstSetting && id < kPropFirstSetting + project::kPluginSettingCount) {
    const std::size_t setting = id - kPropFirstSetting;
    s.values[setting] = g_value_get_double(value);
    if (s.keyer) s.keyer->SetValue(setting, s.values[setting]);
  } else {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
} catch (const std::exception& e) {
  GST_WARNING_OBJECT(object, "mattix: cannot set %s: %s", g_param_spec_get_name(pspec), e.what());
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  const KeyState& s = *Self(object)->state;
  const ObjectLock lock(object);
  if (id == kPropProject)
    g_value_set_string(value, s.project.c_str());
  else if (id == kPropMatte)
    g_value_set_boolean(value, s.matte);
  else if (id >= kPropFirstSetting && id < kPropFirstSetting + project::kPluginSettingCount)
    g_value_set_double(value, s.values[id - kPropFirstSetting]);
  else
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

// Loads the module and makes the keyer with the properties as set. A module
// that cannot be loaded is an error that stops the pipeline.
gboolean Start(GstBaseTransform* transform) {
  GstMattixKey* self = Self(transform);
  try {
    // HostError: the module's path and the fault.
    auto effect = std::make_unique<mattix::host::CKeyingEffect>(LoadModule());
    auto report = [self](const std::string& message) {
      GST_ELEMENT_WARNING(self, STREAM, FAILED, ("mattix: %s", message.c_str()), (nullptr));
    };
    auto keyer = std::make_unique<mattix::render::CPluginKeyer>(std::move(effect), report);
    const ObjectLock lock(self);
    KeyState& s = *self->state;
    keyer->SetProjectPath(s.project);
    keyer->SetMatte(s.matte);
    for (std::size_t i = 0; i < s.values.size(); ++i) keyer->SetValue(i, s.values[i]);
    s.keyer = std::move(keyer);
    return TRUE;
  } catch (const std::exception& e) {
    GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("Mattix cannot key: %s", e.what()), (nullptr));
    return FALSE;
  }
}

gboolean Stop(GstBaseTransform* transform) {
  GstMattixKey* self = Self(transform);
  const ObjectLock lock(self);
  self->state->keyer.reset();
  return TRUE;
}

// Frames of sizes Mattix keys only (media/Image.h).
gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo*) {
  const int w = GST_VIDEO_INFO_WIDTH(in), h = GST_VIDEO_INFO_HEIGHT(in);
  if (w >= 1 && h >= 1 && mattix::media::FrameSizeAllowed(w, h)) return TRUE;
  GST_ELEMENT_ERROR(
      filter, STREAM, FORMAT,
      ("Mattix cannot key frames of %dx%d (sides 1 to %d, at most %lld pixels)", w, h,
       mattix::media::kMaxFrameSide, static_cast<long long>(mattix::media::kMaxFramePixels)),
      (nullptr));
  return FALSE;
}

// Swaps the first and third byte of every pixel of a row (RGBA and BGRA).
void SwapRedBlueRow(const std::uint8_t* in, std::uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, in += 4, out += 4) {
    const std::uint8_t r = in[0], b = in[2];
    out[0] = b;
    out[1] = in[1];
    out[2] = r;
    out[3] = in[3];
  }
}

GstFlowReturn TransformFrame(GstVideoFilter* filter, GstVideoFrame* in, GstVideoFrame* out) try {
  KeyState& s = *Self(filter)->state;
  const int w = GST_VIDEO_FRAME_WIDTH(in), h = GST_VIDEO_FRAME_HEIGHT(in);
  const auto* src = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(in, 0));
  auto* dst = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 0));
  const std::size_t inStride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(in, 0));
  const std::size_t outStride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(out, 0));
  const bool rgba = GST_VIDEO_FRAME_FORMAT(in) == GST_VIDEO_FORMAT_RGBA;
  if (!s.keyer) return GST_FLOW_FLUSHING;  // stopped
  if (!rgba && inStride == outStride) {
    s.keyer->Key(src, dst, w, h, inStride);
    return GST_FLOW_OK;
  }
  // Keyed in a packed BGRA copy (RGBA swapped to it), then written back.
  const std::size_t row = std::size_t(w) * 4;
  s.swapped.resize(row * std::size_t(h));
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* from = src + inStride * std::size_t(y);
    std::uint8_t* to = s.swapped.data() + row * std::size_t(y);
    if (rgba)
      SwapRedBlueRow(from, to, w);
    else
      std::memcpy(to, from, row);
  }
  s.keyer->Key(s.swapped.data(), s.swapped.data(), w, h, row);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* from = s.swapped.data() + row * std::size_t(y);
    std::uint8_t* to = dst + outStride * std::size_t(y);
    if (rgba)
      SwapRedBlueRow(from, to, w);
    else
      std::memcpy(to, from, row);
  }
  return GST_FLOW_OK;
} catch (const std::exception& e) {  // out of memory for the BGRA copy
  GST_ELEMENT_ERROR(filter, STREAM, FAILED, ("Mattix cannot key a frame: %s", e.what()), (nullptr));
  return GST_FLOW_ERROR;
}

void Finalize(GObject* object) {
  delete Self(object)->state;
  G_OBJECT_CLASS(gst_mattix_key_parent_class)->finalize(object);
}

}  // namespace

static void gst_mattix_key_class_init(GstMattixKeyClass* klass) {
  GObjectClass* object = G_OBJECT_CLASS(klass);
  object->set_property = SetProperty;
  object->get_property = GetProperty;
  object->finalize = Finalize;
  const auto flags =
      GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);
  g_object_class_install_property(
      object, kPropProject,
      g_param_spec_string("project", "Project", mattix::render::kProjectExplanation, "", flags));
  g_object_class_install_property(
      object, kPropMatte,
      g_param_spec_boolean("matte", "Matte", mattix::render::kMatteExplanation, FALSE, flags));
  for (std::size_t i = 0; i < project::kPluginSettingCount; ++i) {
    const project::PluginSetting& s = project::kPluginSettings[i];
    g_object_class_install_property(
        object, guint(kPropFirstSetting + i),
        g_param_spec_double(s.name, s.name, s.description, -1.0, 1.0, -1.0, flags));
  }

  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(element, mattix::render::kFilterName, "Filter/Effect/Video",
                                        mattix::render::kFilterExplanation, "Mattix");
  static GstStaticPadTemplate sink = GST_STATIC_PAD_TEMPLATE(
      "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ BGRA, RGBA }")));
  static GstStaticPadTemplate src = GST_STATIC_PAD_TEMPLATE(
      "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ BGRA, RGBA }")));
  gst_element_class_add_static_pad_template(element, &sink);
  gst_element_class_add_static_pad_template(element, &src);

  GstBaseTransformClass* transform = GST_BASE_TRANSFORM_CLASS(klass);
  transform->start = Start;
  transform->stop = Stop;
  GstVideoFilterClass* filter = GST_VIDEO_FILTER_CLASS(klass);
  filter->set_info = SetInfo;
  filter->transform_frame = TransformFrame;

  GST_DEBUG_CATEGORY_INIT(mattix_key_debug, "mattixkey", 0, "Mattix chroma key");
}

static void gst_mattix_key_init(GstMattixKey* self) { self->state = new KeyState(); }
