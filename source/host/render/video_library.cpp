#include "video_library.h"

#include <dlfcn.h>

#include <mutex>

namespace kurvo::media {
namespace {

#define KURVO_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

struct Loaded {
  VideoLibrary functions;
  bool ok = false;
  std::string why;
};

// Opens each library under the major version the tool was built against:
// another major has other structures behind the same names.
Loaded load() {
  Loaded loaded;
  const char* const names[] = {KURVO_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR),
                               KURVO_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR),
                               KURVO_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR),
                               KURVO_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR)};
  void* handles[4] = {};
  for (int i = 0; i < 4; ++i) {
    // Kept open for the rest of the run: the functions are used until exit.
    handles[i] = dlopen(names[i], RTLD_NOW | RTLD_LOCAL);
    if (!handles[i]) {
      const char* error = dlerror();
      loaded.why = std::string("the video library ") + names[i] + " cannot be loaded" +
                   (error ? std::string(" (") + error + ")" : std::string());
      return loaded;
    }
  }
  auto find = [&](auto& slot, const char* name) {
    for (void* handle : handles)
      if (void* symbol = dlsym(handle, name)) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
        return true;
      }
    loaded.why = std::string("the video libraries lack ") + name;
    return false;
  };
  VideoLibrary& f = loaded.functions;
#define KURVO_FIND(name) \
  if (!find(f.name, #name)) return loaded;
  KURVO_FIND(av_d2q)
  KURVO_FIND(av_dict_free)
  KURVO_FIND(av_dict_set)
  KURVO_FIND(av_frame_alloc)
  KURVO_FIND(av_frame_free)
  KURVO_FIND(av_frame_get_buffer)
  KURVO_FIND(av_frame_make_writable)
  KURVO_FIND(av_log_set_level)
  KURVO_FIND(av_opt_set)
  KURVO_FIND(av_strerror)
  KURVO_FIND(av_packet_alloc)
  KURVO_FIND(av_packet_free)
  KURVO_FIND(av_packet_rescale_ts)
  KURVO_FIND(avcodec_alloc_context3)
  KURVO_FIND(avcodec_find_encoder_by_name)
  KURVO_FIND(avcodec_free_context)
  KURVO_FIND(avcodec_open2)
  KURVO_FIND(avcodec_parameters_from_context)
  KURVO_FIND(avcodec_receive_packet)
  KURVO_FIND(avcodec_send_frame)
  KURVO_FIND(av_interleaved_write_frame)
  KURVO_FIND(av_write_trailer)
  KURVO_FIND(avformat_alloc_output_context2)
  KURVO_FIND(avformat_free_context)
  KURVO_FIND(avformat_new_stream)
  KURVO_FIND(avformat_write_header)
  KURVO_FIND(avio_closep)
  KURVO_FIND(avio_open)
  KURVO_FIND(sws_freeContext)
  KURVO_FIND(sws_getContext)
  KURVO_FIND(sws_scale)
#undef KURVO_FIND
  loaded.ok = true;
  return loaded;
}

}  // namespace

const VideoLibrary* video_library(std::string& why) {
  static const Loaded loaded = load();  // once, whichever thread asks first
  if (!loaded.ok) {
    why = loaded.why;
    return nullptr;
  }
  return &loaded.functions;
}

}  // namespace kurvo::media
