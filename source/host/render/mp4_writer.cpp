#include "mp4_writer.h"

#include <cmath>

#include "path_text.h"
#include "video_library.h"

namespace kurvo::media {

Mp4AnimationWriter::~Mp4AnimationWriter() { release(); }  // the staged temporary goes with staged_

void Mp4AnimationWriter::release() {
  if (!av_) return;  // nothing was made without the libraries
  if (format_) {
    if (format_->pb) av_->avio_closep(&format_->pb);
    av_->avformat_free_context(format_);  // frees stream_ too
    format_ = nullptr;
    stream_ = nullptr;
  }
  av_->avcodec_free_context(&encoder_);
  av_->av_frame_free(&picture_);
  av_->av_packet_free(&packet_);
  av_->sws_freeContext(convert_);
  convert_ = nullptr;
}

Status Mp4AnimationWriter::fail(const std::string& why) {
  release();
  staged_.discard();
  status_ = Status::failure("cannot write " + quoted(file_) + ": " + why);
  return status_;
}

Status Mp4AnimationWriter::av_failure(const char* step, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_->av_strerror(code, text, sizeof text);
  return fail(std::string(step) + ": " + text);
}

Status Mp4AnimationWriter::open(const std::filesystem::path& file, int width, int height, double fps) {
  release();
  staged_.discard();
  file_ = file;
  frames_ = 0;
  // 4:2:0 colour halves both sizes: an odd last column or row is dropped.
  width_ = width & ~1;
  height_ = height & ~1;
  if (width < 2 || height < 2 || width > 16384 || height > 16384)
    return fail("an MP4 video is 2 to 16384 pixels wide and high, not " + std::to_string(width) + "x" +
                std::to_string(height));
  if (!(fps > 0.0) || !std::isfinite(fps) || fps > 1000.0)
    return fail("the frame rate must be a positive number up to 1000");
  std::string why;
  av_ = video_library(why);
  if (!av_) return fail(why);
  av_->av_log_set_level(AV_LOG_QUIET);  // failures come back as one message, not the libraries' chatter

  const AVCodec* codec = av_->avcodec_find_encoder_by_name("libx264");
  if (!codec) return fail("this FFmpeg has no H.264 encoder (libx264)");
  const std::filesystem::path temp = staged_.stage(file);
  // The muxer reopens the file by this name to move the index to the front.
  int code = av_->avformat_alloc_output_context2(&format_, nullptr, "mp4", temp.c_str());
  if (code < 0) return av_failure("mp4 container", code);
  stream_ = av_->avformat_new_stream(format_, nullptr);
  encoder_ = av_->avcodec_alloc_context3(codec);
  picture_ = av_->av_frame_alloc();
  packet_ = av_->av_packet_alloc();
  if (!stream_ || !encoder_ || !picture_ || !packet_) return fail("out of memory");

  const AVRational rate = av_->av_d2q(fps, 100000);
  encoder_->width = width_;
  encoder_->height = height_;
  encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder_->framerate = rate;
  encoder_->time_base = av_inv_q(rate);
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_->av_opt_set(encoder_->priv_data, "preset", "veryfast", 0);  // previews: speed over the last bit of size
  if ((code = av_->avcodec_open2(encoder_, codec, nullptr)) < 0) return av_failure("H.264 encoder", code);
  if ((code = av_->avcodec_parameters_from_context(stream_->codecpar, encoder_)) < 0)
    return av_failure("H.264 encoder", code);
  stream_->time_base = encoder_->time_base;
  stream_->avg_frame_rate = rate;

  if ((code = av_->avio_open(&format_->pb, temp.c_str(), AVIO_FLAG_WRITE)) < 0)
    return av_failure("opening", code);
  AVDictionary* options = nullptr;
  av_->av_dict_set(&options, "movflags", "+faststart", 0);  // the index first: playback starts at once
  code = av_->avformat_write_header(format_, &options);
  av_->av_dict_free(&options);
  if (code < 0) return av_failure("writing the header", code);

  picture_->format = encoder_->pix_fmt;
  picture_->width = width_;
  picture_->height = height_;
  if ((code = av_->av_frame_get_buffer(picture_, 0)) < 0) return av_failure("frame buffer", code);
  convert_ = av_->sws_getContext(width_, height_, AV_PIX_FMT_RGB24, width_, height_, AV_PIX_FMT_YUV420P,
                            SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!convert_) return fail("no conversion from RGB to 4:2:0 colour");
  status_ = Status::success();
  return status_;
}

Status Mp4AnimationWriter::encode(const AVFrame* frame) {
  int code = av_->avcodec_send_frame(encoder_, frame);
  if (code < 0) return av_failure("encoding", code);
  for (;;) {
    code = av_->avcodec_receive_packet(encoder_, packet_);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return Status::success();
    if (code < 0) return av_failure("encoding", code);
    av_->av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    code = av_->av_interleaved_write_frame(format_, packet_);  // takes the packet's data
    if (code < 0) return av_failure("writing", code);
  }
}

Status Mp4AnimationWriter::add(const Image& frame) {
  if (!status_.ok()) return status_;
  if ((frame.width & ~1) != width_ || (frame.height & ~1) != height_ ||
      frame.rgb.size() != static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 3)
    return fail("frame " + std::to_string(frames_ + 1) + " is " + std::to_string(frame.width) + "x" +
                std::to_string(frame.height) + ", not the size the video was opened with");
  int code = av_->av_frame_make_writable(picture_);
  if (code < 0) return av_failure("frame buffer", code);
  const uint8_t* rows[1] = {frame.rgb.data()};
  const int stride[1] = {frame.width * 3};  // the full row: an odd last column is skipped, not folded in
  av_->sws_scale(convert_, rows, stride, 0, height_, picture_->data, picture_->linesize);
  picture_->pts = frames_;
  if (Status s = encode(picture_); !s.ok()) return s;
  ++frames_;
  return status_;
}

Status Mp4AnimationWriter::finish() {
  if (!status_.ok()) return status_;
  if (frames_ == 0) return fail("no frame to write");
  if (Status s = encode(nullptr); !s.ok()) return s;
  int code = av_->av_write_trailer(format_);
  if (code < 0) return av_failure("writing the index", code);
  code = av_->avio_closep(&format_->pb);
  if (code < 0) return av_failure("closing", code);
  release();
  Status committed = staged_.commit(file_);
  // A second finish() (or add()) without open() is refused.
  status_ = committed.ok() ? Status::failure("cannot write " + quoted(file_) + ": the video was finished")
                           : committed;
  return committed;
}

}  // namespace kurvo::media
