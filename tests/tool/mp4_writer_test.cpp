// MP4 output, read back and decoded with FFmpeg's own demuxer and decoder;
// and the choice of animation writer by extension.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "animation_writer.h"
#include "mp4_writer.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

struct Video {
  std::string codec;
  int width = 0, height = 0;
  AVRational rate{0, 1};
  std::vector<Image> frames;
};

void keep_rgb(AVFrame* frame, Video& video) {
  SwsContext* convert = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                       frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr,
                                       nullptr, nullptr);
  Image image;
  image.width = frame->width;
  image.height = frame->height;
  image.rgb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
  uint8_t* rows[1] = {image.rgb.data()};
  const int stride[1] = {image.width * 3};
  sws_scale(convert, frame->data, frame->linesize, 0, frame->height, rows, stride);
  sws_freeContext(convert);
  video.frames.push_back(std::move(image));
}

// Every frame of the file's first stream, decoded to RGB; empty when FFmpeg
// cannot open it.
Video decode(const std::filesystem::path& file) {
  Video video;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return video;
  if (avformat_find_stream_info(format, nullptr) < 0 || format->nb_streams != 1) {
    avformat_close_input(&format);
    return video;
  }
  const AVStream* stream = format->streams[0];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, stream->codecpar);
  avcodec_open2(decoder, codec, nullptr);
  video.codec = codec->name;
  video.width = stream->codecpar->width;
  video.height = stream->codecpar->height;
  video.rate = stream->avg_frame_rate;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto drain = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) keep_rgb(frame, video);
  };
  while (av_read_frame(format, packet) >= 0) {
    avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    drain();
  }
  avcodec_send_packet(decoder, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return video;
}

// Left half one colour, right half another, both changing per frame.
Image halves(int width, int height, int index) {
  Image image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool left = x < width / 2;
      image.rgb.push_back(static_cast<uint8_t>(left ? 200 : 30 + 60 * index));
      image.rgb.push_back(static_cast<uint8_t>(left ? 40 + 80 * index : 180));
      image.rgb.push_back(static_cast<uint8_t>(left ? 60 : 220 - 70 * index));
    }
  return image;
}

TEST(Mp4Writer, WritesAnH264VideoThatFfmpegDecodes) {
  TempDir dir;
  for (const auto& [w, h] : {std::pair{64, 48}, std::pair{65, 49}}) {
    const std::filesystem::path file = dir / ("v" + std::to_string(w) + ".mp4");
    Mp4AnimationWriter writer;
    const Status opened = writer.open(file, w, h, 25);
    ASSERT_TRUE(opened.ok()) << opened.message();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.add(halves(w, h, i)).ok());
    EXPECT_FALSE(std::filesystem::exists(file)) << "in place before finish()";
    const Status finished = writer.finish();
    ASSERT_TRUE(finished.ok()) << finished.message();

    const Video video = decode(file);
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(video.width, 64) << "an odd size loses its last column";
    EXPECT_EQ(video.height, 48);
    EXPECT_EQ(video.rate.num, 25);
    EXPECT_EQ(video.rate.den, 1);
    ASSERT_EQ(video.frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const Image source = halves(w, h, i);
      for (const int x : {10, 50}) {
        const auto got = video.frames[static_cast<size_t>(i)].pixel(x, 20);
        const auto want = source.pixel(x, 20);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 12) << "frame " << i << " x " << x;
      }
    }
    // The index ahead of the pictures, so playback can start at once.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
  }
}

TEST(Mp4Writer, FailuresNameTheFileAndLeaveNothing) {
  TempDir dir;
  {
    Mp4AnimationWriter writer;
    ASSERT_TRUE(writer.open(dir / "sizes.mp4", 64, 48, 30).ok());
    const Status s = writer.add(halves(48, 64, 0));
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find("sizes.mp4"), std::string::npos) << s.message();
    EXPECT_FALSE(writer.finish().ok());
  }
  {
    Mp4AnimationWriter writer;
    ASSERT_TRUE(writer.open(dir / "dropped.mp4", 64, 48, 30).ok());
    ASSERT_TRUE(writer.add(halves(64, 48, 0)).ok());
  }
  EXPECT_TRUE(dir.names().empty());
}

TEST(AnimationWriter, TheExtensionChoosesTheFormat) {
  TempDir dir;
  for (const std::string name : {"a.GIF", "b.mp4"}) {
    auto writer = make_animation_writer(dir / name);
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE(writer.value()->open(dir / name, 16, 16, 10).ok());
    ASSERT_TRUE(writer.value()->add(halves(16, 16, 1)).ok());
    ASSERT_TRUE(writer.value()->finish().ok());
  }
  std::ifstream gif(dir / "a.GIF", std::ios::binary);
  std::string magic(6, '\0');
  gif.read(magic.data(), 6);
  EXPECT_EQ(magic, "GIF89a");
  EXPECT_EQ(decode(dir / "b.mp4").codec, "h264");
  const auto refused = make_animation_writer(dir / "c.avi");
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("c.avi"), std::string::npos);
  EXPECT_NE(refused.message().find("supported: .gif .mp4"), std::string::npos);
}

}  // namespace
