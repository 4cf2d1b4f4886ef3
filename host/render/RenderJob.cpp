#include "host/render/RenderJob.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/KeyingEffect.h"
#include "host/matte/MatteFinish.h"
#include "host/media/FramePipeline.h"
#include "host/media/FrameReader.h"
#include "host/media/FrameWriter.h"
#include "host/media/JobPool.h"
#include "host/media/Progress.h"
#include "host/project/Project.h"

#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace mattix::render {

namespace {

// Effects, one per render running at once: a render takes an idle effect
// (or creates one) and gives it back. Every effect holds the same settings;
// the module itself shares nothing between renders.
class EffectPool {
 public:
  EffectPool(std::shared_ptr<host::CHostModule> module, const project::ProjectSettings& settings)
      : m_module(std::move(module)), m_settings(settings) {}

  // Keys one frame (for one field the other field's lines keep the input).
  media::BgraImage Key(const media::BgraImage& input, int field) {
    std::unique_ptr<host::CKeyingEffect> effect;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_idle.empty()) {
        effect = std::move(m_idle.back());
        m_idle.pop_back();
      }
    }
    if (!effect) effect = std::make_unique<host::CKeyingEffect>(m_module, m_settings);
    media::BgraImage out = effect->Key(input, field);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.push_back(std::move(effect));
    return out;
  }

 private:
  std::shared_ptr<host::CHostModule> m_module;
  const project::ProjectSettings& m_settings;
  std::mutex m_mutex;
  std::vector<std::unique_ptr<host::CKeyingEffect>> m_idle;
};

}  // namespace

void CheckRenderOptions(const RenderOptions& o, std::optional<long> frames) {
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
    if (single && format != media::OutputFormat::Picture)
      throw OptionsError(path + ": the input is one picture, so " + what +
                         " must be a picture (.png, .tif, .exr, .dpx)");
    // A sequence or video that gives one frame (a still read through
    // ffmpeg, or --frames N-N) may be written as a picture.
    if (!single && format == media::OutputFormat::Picture && frames && *frames != 1)
      throw OptionsError(path + ": " + o.input +
                         (*frames < 0 ? std::string(" does not say how many frames it holds")
                                      : " gives " + std::to_string(*frames) + " frames") +
                         ", so " + what +
                         " must be a sequence (name_%04d.png) or a video (.mov, .webm" +
                         std::string(what == "--preview" ? ", .mp4..." : "") +
                         "); --frames N-N keys one of them into a picture");
  }
  host::CheckDistinctOutputs(outputs);
}

int Render(const RenderOptions& options) { return RenderWithProgress(options, nullptr); }

int RenderWithProgress(const RenderOptions& options,
                       const std::function<void(long, long)>& onProgress) {
  // Frames of a few MiB are allocated and freed every frame: kept in the
  // heap (glibc would map and unmap each, and fault its pages in anew), they
  // cost no kernel time after the first ones.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  project::ProjectSettings settings;
  if (options.settings)
    settings = *options.settings;
  else if (options.project)
    settings = project::ReadProject(*options.project);
  ApplyOverrides(settings, options.overrides);
  project::ValidateFinishing(settings.finishing, options.project ? *options.project + ": " : "");

  EffectPool pool(host::CKeyingEffect::LoadModule(), settings);

  std::unique_ptr<media::FrameReader> reader = media::FrameReader::Open(
      options.input, media::FrameSelection{options.frames, options.allowGaps, options.allowShort});
  CheckRenderOptions(options, reader->frameCount());
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
                                                opaque, options.frames, reader->colour());
  };
  std::unique_ptr<media::FrameWriter> keyed = writer(options.output, false);
  std::unique_ptr<media::FrameWriter> matte =
      options.matte ? writer(*options.matte, false) : nullptr;
  std::unique_ptr<media::FrameWriter> preview =
      options.preview ? writer(*options.preview, true) : nullptr;

  if (!settings.HasMask())
    std::fprintf(stderr,
                 "mattix: warning: %s has no chroma mask: nothing is keyed, the output "
                 "equals the input\n",
                 options.project ? options.project->c_str() : "the render (no --project)");
  const bool deep = reader->sampleBits() > 8;
  const int jobs = media::JobsWithinMemory(options.jobs, reader->width(), reader->height(),
                                           media::PhysicalMemoryBytes(), deep);
  if (jobs < options.jobs)
    std::fprintf(stderr,
                 "mattix: warning: --jobs %d lowered to %d: each job holds up to %llu MiB for "
                 "its %d x %d frames in flight, and more would not fit in half of this "
                 "machine's memory with the %llu MiB of tables all jobs share\n",
                 options.jobs, jobs,
                 static_cast<unsigned long long>(
                     media::BytesPerJob(reader->width(), reader->height(), deep) >> 20),
                 reader->width(), reader->height(),
                 static_cast<unsigned long long>(media::kSharedBytes >> 20));

  media::ProgressLine progress(reader->frameCount(), media::ProgressLine::StderrIsTerminal());
  if (onProgress) progress.SetObserver([&](long done) { onProgress(done, reader->frameCount()); });
  const int field = options.field;
  const long frames = RunFramePipeline(
      *reader, {keyed.get(), matte.get(), preview.get()}, jobs,
      [&](const media::BgraImage& input, const media::InputFrame& frame) {
        try {
          media::BgraImage out = pool.Key(input, field);
          matte::FinishMatte(out, input, settings.finishing);
          return out;
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
