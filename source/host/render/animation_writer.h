// Animations written frame by frame, the format chosen by the file's
// extension: .gif (gif_writer.h) or .mp4 (mp4_writer.h). A writer holds one
// frame at a time, never the whole animation.
//
// The file is written under a temporary name and appears only at finish();
// when an OutputBatch is alive at that moment, it joins the batch instead
// (atomic_file.h). A writer dropped before finish() leaves nothing behind.
#ifndef KURVO_MEDIA_ANIMATION_WRITER_H
#define KURVO_MEDIA_ANIMATION_WRITER_H

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "raster.h"
#include "result.h"

namespace kurvo::media {

class AnimationWriter {
 public:
  virtual ~AnimationWriter() = default;
  // Starts FILE for frames of width x height shown at fps frames per second.
  virtual Status open(const std::filesystem::path& file, int width, int height, double fps) = 0;
  // Appends one 8-bit RGB frame of the size given to open().
  virtual Status add(const Image& frame) = 0;
  // Completes the file and puts it in place. A failure in any earlier call is
  // returned again here, and nothing is put in place.
  virtual Status finish() = 0;
};

// The writer for FILE's extension (any case), or a failure naming the file
// and the extensions offered.
Result<std::unique_ptr<AnimationWriter>> make_animation_writer(const std::filesystem::path& file);

// ".gif", ".mp4": lower case with the dot, in a stable order.
std::vector<std::string> supported_animation_extensions();

}  // namespace kurvo::media

#endif
