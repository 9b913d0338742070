// Animated GIF output of rendered frames, written frame by frame: only the
// frame being added is held in memory, never the whole animation.
//
// Each frame gets its own palette of up to 256 colours (giflib's median-cut
// quantiser), so a frame keeps its colours however the animation changes.
// The animation loops for ever. The frame delay is 1/fps rounded to
// hundredths of a second, at least 2: viewers show a delay of 0 or 1 as a
// tenth of a second, far slower than asked.
//
// Opening, adding and finishing as for every AnimationWriter
// (animation_writer.h).
#ifndef KURVO_MEDIA_GIF_WRITER_H
#define KURVO_MEDIA_GIF_WRITER_H

#include <filesystem>
#include <vector>

#include "animation_writer.h"
#include "atomic_file.h"
#include "raster.h"
#include "result.h"

struct GifFileType;

namespace kurvo::media {

class GifAnimationWriter : public AnimationWriter {
 public:
  GifAnimationWriter() = default;
  GifAnimationWriter(const GifAnimationWriter&) = delete;
  GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;
  ~GifAnimationWriter() override;

  Status open(const std::filesystem::path& file, int width, int height, double fps) override;
  Status add(const Image& frame) override;
  Status finish() override;

  // Hundredths of a second per frame for a frame rate.
  static int delay_for(double fps);

 private:
  Status fail(const std::string& why);
  Status gif_failure(int code);
  void close();

  std::filesystem::path file_;
  StagedFiles staged_;
  GifFileType* gif_ = nullptr;
  int width_ = 0, height_ = 0, delay_ = 0;
  size_t frames_ = 0;
  Status status_ = Status::failure("the GIF writer was not opened");
  // One frame's working memory, reused: the colour planes and the palette indices.
  std::vector<unsigned char> red_, green_, blue_, indices_;
};

}  // namespace kurvo::media

#endif
