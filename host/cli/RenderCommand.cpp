#include "host/cli/RenderCommand.h"

#include "host/HostError.h"
#include "host/HostModule.h"
#include "host/Image.h"
#include "host/ModuleLocation.h"
#include "host/cli/CliError.h"
#include "host/cli/CommandLine.h"
#include "host/cli/EffectSettings.h"
#include "host/cli/FramePipeline.h"
#include "host/cli/FrameReader.h"
#include "host/cli/FrameWriter.h"
#include "host/cli/JobPool.h"
#include "host/cli/OutputFile.h"
#include "host/cli/Progress.h"
#include "host/cli/Project.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace mattix::cli {

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
  InstancePool(std::shared_ptr<host::CHostModule> module, const ProjectSettings& settings)
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
  const ProjectSettings& m_settings;
  std::mutex m_mutex;
  std::vector<std::unique_ptr<host::CEffectInstance>> m_idle;
};

// Keys one frame: the host's frames are top-down 32-bit BGRA with straight
// alpha over the command's own buffers. For one field the other field's
// lines keep the input.
BgraImage KeyFrame(InstancePool& pool, const BgraImage& input, const InputFrame& frame, int field) {
  BgraImage in = input;  // the effect may convert its input in place
  BgraImage out = field < 0 ? BgraImage(input.width, input.height) : input;
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
    throw CliError(frame.label + ": the effect could not key this frame (status " + Hex(status) +
                   ")");
  return out;
}

}  // namespace

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
    throw CliError(std::string("render: ") + e.what());
  }
}

std::shared_ptr<host::CHostModule> LoadEffectModule() {
  try {
    std::shared_ptr<host::CHostModule> module = host::CHostModule::Load(FindEffectModule());
    if (const PIM::Status s = module->RegisterEffects(); s != PIM::kOk)
      throw CliError(module->Path() + ": the module refused to register its effect (status " +
                     Hex(s) + ")");
    if (module->Effects().empty())
      throw CliError(module->Path() + ": the module registered no effect");
    return module;
  } catch (const host::HostError& e) {
    throw CliError(e.what());
  }
}

void ConfigureInstance(host::CEffectInstance& instance, const std::string& modulePath,
                       const ProjectSettings& settings) {
  if (const PIM::Status s = instance.DefineParameters(); s != PIM::kOk)
    throw CliError(modulePath + ": the effect refused to define its parameters (status " + Hex(s) +
                   ")");
  if (const PIM::Status s = ApplySettings(instance, settings); s != PIM::kOk)
    throw CliError(modulePath + ": the effect's parameters could not be set (status " + Hex(s) +
                   ")");
}

int RenderCommand(const std::vector<std::string>& args) { return Render(ParseRenderOptions(args)); }

int Render(const RenderOptions& options) { return RenderWithProgress(options, nullptr); }

int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress) {
  ProjectSettings settings;
  if (options.project) settings = ReadProject(*options.project);
  ApplyOverrides(settings, options.overrides);

  InstancePool pool(LoadEffectModule(), settings);

  std::unique_ptr<FrameReader> reader =
      FrameReader::Open(options.input, {}, FrameSelection{options.frames, options.allowGaps});
  if (!reader->gaps().empty())
    std::fprintf(stderr, "mattix: warning: %s; keying the frames that exist\n",
                 reader->gaps().c_str());
  InputFiles inputs;
  for (const std::string& file : reader->files()) inputs.Add(file);
  if (options.project) inputs.Add(*options.project);
  // Outputs are numbered as the input's frames (checked before any work).
  const std::vector<long>& numbers = reader->numbers();
  auto writer = [&](const std::string& path, bool opaque) {
    return std::make_unique<FrameWriter>(path, reader->width(), reader->height(),
                                         reader->frameRate(), options.force, inputs, numbers,
                                         FfmpegTools{}, opaque);
  };
  std::unique_ptr<FrameWriter> keyed = writer(options.output, false);
  std::unique_ptr<FrameWriter> matte = options.matte ? writer(*options.matte, false) : nullptr;
  std::unique_ptr<FrameWriter> preview = options.preview ? writer(*options.preview, true) : nullptr;

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
  const int jobs =
      JobsWithinMemory(options.jobs, reader->width(), reader->height(), PhysicalMemoryBytes());
  if (jobs < options.jobs)
    std::fprintf(stderr,
                 "mattix: warning: --jobs %d lowered to %d: each job keeps up to two %d x %d "
                 "frames in flight, and more would not fit in half of this machine's memory\n",
                 options.jobs, jobs, reader->width(), reader->height());

  ProgressLine progress(reader->frameCount(), isatty(STDERR_FILENO) == 1);
  if (onProgress) progress.SetObserver([&](long done) { onProgress(done, reader->frameCount()); });
  const int field = options.field;
  const long frames = RunFramePipeline(
      *reader, {keyed.get(), matte.get(), preview.get()}, jobs,
      [&](const BgraImage& input, const InputFrame& frame) {
        try {
          return KeyFrame(pool, input, frame, field);
        } catch (const host::HostError& e) {
          throw CliError(frame.label + ": " + e.what());
        }
      },
      &progress);
  progress.Finish();
  if (frames == 0 && options.frames)
    throw CliError(options.input + ": --frames " + std::to_string(options.frames->first) + "-" +
                   std::to_string(options.frames->second) + " holds none of its frames");
  std::printf("keyed %ld frame%s into %s\n", frames, frames == 1 ? "" : "s",
              options.output.c_str());
  return 0;
}

}  // namespace mattix::cli
