#include "host/render/RenderJob.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/EffectSettings.h"
#include "host/effect/HostModule.h"
#include "host/effect/Image.h"
#include "host/effect/ModuleLocation.h"
#include "host/media/FramePipeline.h"
#include "host/media/FrameReader.h"
#include "host/media/FrameWriter.h"
#include "host/media/JobPool.h"
#include "host/media/Progress.h"
#include "host/project/Project.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace mattix::render {

namespace {

namespace fs = std::filesystem;

std::string ExecutableFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

std::string Hex(PIM::Status status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(status));
  return text;
}

// Effect instances, one per render running at once: a render takes an idle
// instance (or creates one) and gives it back. Every instance holds the same
// settings; the module itself shares nothing between renders.
class InstancePool {
 public:
  InstancePool(std::shared_ptr<host::CHostModule> module, const project::ProjectSettings& settings)
      : m_module(std::move(module)), m_settings(settings) {}

  std::unique_ptr<host::CEffectInstance> Take() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_idle.empty()) {
        std::unique_ptr<host::CEffectInstance> instance = std::move(m_idle.back());
        m_idle.pop_back();
        return instance;
      }
    }
    return Create();
  }

  void Give(std::unique_ptr<host::CEffectInstance> instance) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.push_back(std::move(instance));
  }

 private:
  std::unique_ptr<host::CEffectInstance> Create() {
    std::unique_ptr<host::CEffectInstance> instance;
    {
      // Creation reaches the module's shared registration state.
      std::lock_guard<std::mutex> lock(m_mutex);
      instance = m_module->CreateInstance();
    }
    ConfigureInstance(*instance, m_module->Path(), m_settings);
    return instance;
  }

  std::shared_ptr<host::CHostModule> m_module;
  const project::ProjectSettings& m_settings;
  std::mutex m_mutex;
  std::vector<std::unique_ptr<host::CEffectInstance>> m_idle;
};

// Keys one frame: the host's frames are top-down 32-bit BGRA with straight
// alpha over the command's own buffers. For one field the other field's
// lines keep the input.
media::BgraImage KeyFrame(InstancePool& pool, const media::BgraImage& input,
                          const media::InputFrame& frame, int field) {
  media::BgraImage in = input;  // the effect may convert its input in place
  media::BgraImage out = field < 0 ? media::BgraImage(input.width, input.height) : input;
  const std::int32_t stride = std::int32_t(in.Stride());
  PIM::RefPtr<host::CImage> inImage =
      host::CImage::WrapBgra(in.pixels.data(), in.width, in.height, stride, false);
  PIM::RefPtr<host::CImage> outImage =
      host::CImage::WrapBgra(out.pixels.data(), out.width, out.height, stride, false);
  std::unique_ptr<host::CEffectInstance> instance = pool.Take();
  const PIM::Status status = field < 0 ? instance->Render(*outImage, *inImage)
                                       : instance->Render(*outImage, *inImage, 1, field);
  pool.Give(std::move(instance));
  if (status != PIM::kOk)
    throw host::HostError(frame.label + ": the effect could not key this frame (status " +
                          Hex(status) + ")");
  return out;
}

}  // namespace

void CheckRenderOptions(const RenderOptions& o) {
  if (std::error_code ec; std::filesystem::is_directory(o.input, ec))
    throw host::HostError(o.input +
                          ": is a folder; give a picture (.png), a numbered sequence "
                          "(folder/name_%04d.png) or a video");
  const bool single = media::InputKindOf(o.input) == media::MediaKind::Picture;
  std::vector<std::pair<std::string, std::string>> outputs = {{"the output", o.output}};
  if (o.matte) outputs.emplace_back("--matte", *o.matte);
  if (o.preview) outputs.emplace_back("--preview", *o.preview);
  for (const auto& [what, path] : outputs) {
    const media::OutputFormat format =
        what == "--preview" ? media::PreviewFormatOf(path) : media::OutputFormatOf(path);
    if (single && format != media::OutputFormat::Png)
      throw OptionsError(path + ": the input is one picture, so " + what + " must be a .png");
    if (!single && format == media::OutputFormat::Png)
      throw OptionsError(path + ": the input has many frames, so " + what +
                         " must be a sequence (name_%04d.png) or a video (.mov, .webm" +
                         std::string(what == "--preview" ? ", .mp4..." : "") + ")");
  }
  host::CheckDistinctOutputs(outputs);
}

std::string FindEffectModule() {
  std::vector<std::string> places;
  if (const std::string folder = ExecutableFolder(); !folder.empty())
    places.push_back((fs::path(folder) / "libmattix.so").string());
#ifdef MATTIX_BUILD_TREE_MODULE
  places.push_back(MATTIX_BUILD_TREE_MODULE);
#endif
  try {
    return host::FindEffectModule(places);
  } catch (const host::HostError& e) {
    throw host::HostError(std::string("render: ") + e.what());
  }
}

std::shared_ptr<host::CHostModule> LoadEffectModule() {
  try {
    std::shared_ptr<host::CHostModule> module = host::CHostModule::Load(FindEffectModule());
    if (const PIM::Status s = module->RegisterEffects(); s != PIM::kOk)
      throw host::HostError(module->Path() +
                            ": the module refused to register its effect (status " + Hex(s) + ")");
    if (module->Effects().empty())
      throw host::HostError(module->Path() + ": the module registered no effect");
    return module;
  } catch (const host::HostError& e) {
    throw host::HostError(e.what());
  }
}

void ConfigureInstance(host::CEffectInstance& instance, const std::string& modulePath,
                       const project::ProjectSettings& settings) {
  if (const PIM::Status s = instance.DefineParameters(); s != PIM::kOk)
    throw host::HostError(modulePath + ": the effect refused to define its parameters (status " +
                          Hex(s) + ")");
  if (const PIM::Status s = ApplySettings(instance, settings); s != PIM::kOk)
    throw host::HostError(modulePath + ": the effect's parameters could not be set (status " +
                          Hex(s) + ")");
}

int Render(const RenderOptions& options) { return RenderWithProgress(options, nullptr); }

int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress) {
  project::ProjectSettings settings;
  if (options.project) settings = project::ReadProject(*options.project);
  ApplyOverrides(settings, options.overrides);

  InstancePool pool(LoadEffectModule(), settings);

  std::unique_ptr<media::FrameReader> reader = media::FrameReader::Open(
      options.input, {},
      media::FrameSelection{options.frames, options.allowGaps, options.allowShort});
  if (!reader->gaps().empty())
    std::fprintf(stderr, "mattix: warning: %s; keying the frames that exist\n",
                 reader->gaps().c_str());
  if (reader->audio())
    std::fprintf(stderr,
                 "mattix: warning: %s has sound, which the keyed outputs do not carry (ffmpeg "
                 "can add it back: -i KEYED -i %s -map 0:v -map 1:a -c copy OUT)\n",
                 options.input.c_str(), options.input.c_str());
  host::InputFiles inputs;
  for (const std::string& file : reader->files()) inputs.Add(file);
  if (options.project) inputs.Add(*options.project);
  // Outputs are numbered as the input's frames (checked before any work).
  const std::vector<long>& numbers = reader->numbers();
  auto writer = [&](const std::string& path, bool opaque) {
    return std::make_unique<media::FrameWriter>(path, reader->width(), reader->height(),
                                                reader->frameRate(), options.force, inputs, numbers,
                                                media::FfmpegTools{}, opaque, options.frames);
  };
  std::unique_ptr<media::FrameWriter> keyed = writer(options.output, false);
  std::unique_ptr<media::FrameWriter> matte =
      options.matte ? writer(*options.matte, false) : nullptr;
  std::unique_ptr<media::FrameWriter> preview =
      options.preview ? writer(*options.preview, true) : nullptr;

  if (reader->sampleBits() > 8)
    std::fprintf(stderr,
                 "mattix: warning: %s has %d-bit samples: it is keyed at 8 bits (the effect "
                 "takes 8-bit frames), and the outputs are 8-bit\n",
                 options.input.c_str(), reader->sampleBits());
  if (!settings.HasMask())
    std::fprintf(stderr,
                 "mattix: warning: %s has no chroma mask: nothing is keyed, the output "
                 "equals the input\n",
                 options.project ? options.project->c_str() : "the render (no --project)");
  const int jobs = media::JobsWithinMemory(options.jobs, reader->width(), reader->height(),
                                           media::PhysicalMemoryBytes());
  if (jobs < options.jobs)
    std::fprintf(stderr,
                 "mattix: warning: --jobs %d lowered to %d: each job holds up to %llu MiB for "
                 "its %d x %d frames in flight, and more would not fit in half of this "
                 "machine's memory\n",
                 options.jobs, jobs,
                 static_cast<unsigned long long>(
                     media::BytesPerJob(reader->width(), reader->height()) >> 20),
                 reader->width(), reader->height());

  media::ProgressLine progress(reader->frameCount(), isatty(STDERR_FILENO) == 1);
  if (onProgress) progress.SetObserver([&](long done) { onProgress(done, reader->frameCount()); });
  const int field = options.field;
  const long frames = RunFramePipeline(
      *reader, {keyed.get(), matte.get(), preview.get()}, jobs,
      [&](const media::BgraImage& input, const media::InputFrame& frame) {
        try {
          return KeyFrame(pool, input, frame, field);
        } catch (const host::HostError& e) {
          throw host::HostError(frame.label + ": " + e.what());
        }
      },
      &progress);
  progress.Finish();
  for (const std::string& warning : reader->warnings())
    std::fprintf(stderr, "mattix: warning: %s\n", warning.c_str());
  if (frames == 0 && options.frames)
    throw host::HostError(options.input + ": --frames " + std::to_string(options.frames->first) +
                          "-" + std::to_string(options.frames->second) +
                          " holds none of its frames");
  std::printf("keyed %ld frame%s into %s\n", frames, frames == 1 ? "" : "s",
              options.output.c_str());
  return 0;
}

}  // namespace mattix::render
