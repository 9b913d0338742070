// MP4 video output of rendered frames through Debian's FFmpeg libraries:
// H.264 (libx264) in 4:2:0 colour, the form every browser and player takes,
// with the index at the front so playback can start before the whole file
// has arrived. 4:2:0 needs even sizes: an odd width or height loses its last
// column or row. Frames are encoded as they come; the encoder keeps a few
// for its look-ahead, never the whole animation.
//
// Opening, adding and finishing as for every AnimationWriter
// (animation_writer.h).
#ifndef KURVO_MEDIA_MP4_WRITER_H
#define KURVO_MEDIA_MP4_WRITER_H

#include <filesystem>
#include <string>

#include "animation_writer.h"
#include "atomic_file.h"
#include "raster.h"
#include "result.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace kurvo::media {

struct VideoLibrary;

class Mp4AnimationWriter : public AnimationWriter {
 public:
  Mp4AnimationWriter() = default;
  Mp4AnimationWriter(const Mp4AnimationWriter&) = delete;
  Mp4AnimationWriter& operator=(const Mp4AnimationWriter&) = delete;
  ~Mp4AnimationWriter() override;

  Status open(const std::filesystem::path& file, int width, int height, double fps) override;
  Status add(const Image& frame) override;
  Status finish() override;

 private:
  Status fail(const std::string& why);
  Status av_failure(const char* step, int code);
  Status encode(const AVFrame* frame);  // null: drain the encoder
  void release();

  std::filesystem::path file_;
  StagedFiles staged_;
  const VideoLibrary* av_ = nullptr;  // loaded by open()
  AVFormatContext* format_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVStream* stream_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* convert_ = nullptr;
  int width_ = 0, height_ = 0;
  long frames_ = 0;
  Status status_ = Status::failure("the MP4 writer was not opened");
};

}  // namespace kurvo::media

#endif
