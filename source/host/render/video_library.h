// The video encoder's libraries (Debian's FFmpeg), loaded when the first
// video is written rather than when the tool starts: they pull in well over
// a hundred shared libraries, which cost every run of the tool about 50 ms
// and several megabytes before it had read anything.
#ifndef KURVO_MEDIA_VIDEO_LIBRARY_H
#define KURVO_MEDIA_VIDEO_LIBRARY_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <string>

namespace kurvo::media {

// The functions the MP4 writer calls, by the names the libraries give them.
struct VideoLibrary {
#define KURVO_VIDEO_FUNCTION(name) decltype(&::name) name = nullptr;
  KURVO_VIDEO_FUNCTION(av_d2q)
  KURVO_VIDEO_FUNCTION(av_dict_free)
  KURVO_VIDEO_FUNCTION(av_dict_set)
  KURVO_VIDEO_FUNCTION(av_frame_alloc)
  KURVO_VIDEO_FUNCTION(av_frame_free)
  KURVO_VIDEO_FUNCTION(av_frame_get_buffer)
  KURVO_VIDEO_FUNCTION(av_frame_make_writable)
  KURVO_VIDEO_FUNCTION(av_log_set_level)
  KURVO_VIDEO_FUNCTION(av_opt_set)
  KURVO_VIDEO_FUNCTION(av_strerror)
  KURVO_VIDEO_FUNCTION(av_packet_alloc)
  KURVO_VIDEO_FUNCTION(av_packet_free)
  KURVO_VIDEO_FUNCTION(av_packet_rescale_ts)
  KURVO_VIDEO_FUNCTION(avcodec_alloc_context3)
  KURVO_VIDEO_FUNCTION(avcodec_find_encoder_by_name)
  KURVO_VIDEO_FUNCTION(avcodec_free_context)
  KURVO_VIDEO_FUNCTION(avcodec_open2)
  KURVO_VIDEO_FUNCTION(avcodec_parameters_from_context)
  KURVO_VIDEO_FUNCTION(avcodec_receive_packet)
  KURVO_VIDEO_FUNCTION(avcodec_send_frame)
  KURVO_VIDEO_FUNCTION(av_interleaved_write_frame)
  KURVO_VIDEO_FUNCTION(av_write_trailer)
  KURVO_VIDEO_FUNCTION(avformat_alloc_output_context2)
  KURVO_VIDEO_FUNCTION(avformat_free_context)
  KURVO_VIDEO_FUNCTION(avformat_new_stream)
  KURVO_VIDEO_FUNCTION(avformat_write_header)
  KURVO_VIDEO_FUNCTION(avio_closep)
  KURVO_VIDEO_FUNCTION(avio_open)
  KURVO_VIDEO_FUNCTION(sws_freeContext)
  KURVO_VIDEO_FUNCTION(sws_getContext)
  KURVO_VIDEO_FUNCTION(sws_scale)
#undef KURVO_VIDEO_FUNCTION
};

// The libraries, loaded on the first call and kept for the rest of the run;
// null when one of them or one of the functions is missing, with why in
// `why` (the library's file name and the loader's message).
const VideoLibrary* video_library(std::string& why);

}  // namespace kurvo::media

#endif
