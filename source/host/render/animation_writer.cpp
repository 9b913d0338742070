#include "animation_writer.h"

#include "gif_writer.h"
#include "mp4_writer.h"
#include "path_text.h"

namespace kurvo::media {

std::vector<std::string> supported_animation_extensions() { return {".gif", ".mp4"}; }

Result<std::unique_ptr<AnimationWriter>> make_animation_writer(const std::filesystem::path& file) {
  const std::string extension = lower_extension(file);
  if (extension == ".gif") return std::unique_ptr<AnimationWriter>(std::make_unique<GifAnimationWriter>());
  if (extension == ".mp4") return std::unique_ptr<AnimationWriter>(std::make_unique<Mp4AnimationWriter>());
  return Status::failure("cannot write " + quoted(file) + ": animation format '" + extension +
                         "' is not offered; supported: .gif .mp4");
}

}  // namespace kurvo::media
