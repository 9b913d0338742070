#include "gif_writer.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "path_text.h"

namespace kurvo::media {

GifAnimationWriter::~GifAnimationWriter() { close(); }  // the staged temporary goes with staged_

void GifAnimationWriter::close() {
  if (!gif_) return;
  int error = 0;
  EGifCloseFile(gif_, &error);  // frees the handle whatever happens
  gif_ = nullptr;
}

Status GifAnimationWriter::fail(const std::string& why) {
  close();
  staged_.discard();
  status_ = Status::failure("cannot write " + quoted(file_) + ": " + why);
  return status_;
}

Status GifAnimationWriter::gif_failure(int code) {
  // A failed write or close: the system's reason (a full disk, say) says more.
  if ((code == E_GIF_ERR_WRITE_FAILED || code == E_GIF_ERR_CLOSE_FAILED) && errno != 0) return fail(std::strerror(errno));
  const char* text = GifErrorString(code);
  return fail(text ? text : "GIF error " + std::to_string(code));
}

int GifAnimationWriter::delay_for(double fps) {
  const double hundredths = std::round(100.0 / fps);
  return hundredths < 2.0 ? 2 : hundredths > 65535.0 ? 65535 : static_cast<int>(hundredths);
}

Status GifAnimationWriter::open(const std::filesystem::path& file, int width, int height, double fps) {
  close();
  staged_.discard();
  file_ = file;
  frames_ = 0;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
      static_cast<int64_t>(width) * height > std::numeric_limits<int>::max())
    return fail("a GIF picture is 1 to 65535 pixels wide and high, not " + std::to_string(width) + "x" +
                std::to_string(height));
  if (!(fps > 0.0) || !std::isfinite(fps)) return fail("the frame rate must be a positive number");
  width_ = width;
  height_ = height;
  delay_ = delay_for(fps);

  // Opened here rather than by giflib, which creates files readable by their
  // owner only: the GIF gets the permissions of every other output.
  const int fd = ::open(staged_.stage(file).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail(std::strerror(errno));
  int error = 0;
  gif_ = EGifOpenFileHandle(fd, &error);  // owns the descriptor from here on
  if (!gif_) {
    ::close(fd);
    return gif_failure(error);
  }
  EGifSetGifVersion(gif_, true);  // GIF89a: delays and the loop need extensions
  if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR) return gif_failure(gif_->Error);
  // The application extension that browsers and players read as "loop for
  // ever" (a count of 0).
  static const unsigned char kApplication[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const unsigned char kLoopForever[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kApplication, kApplication) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR)
    return gif_failure(gif_->Error);
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  red_.resize(pixels);
  green_.resize(pixels);
  blue_.resize(pixels);
  indices_.resize(pixels);
  status_ = Status::success();
  return status_;
}

Status GifAnimationWriter::add(const Image& frame) {
  if (!status_.ok()) return status_;
  const size_t pixels = red_.size();
  if (frame.width != width_ || frame.height != height_ || frame.rgb.size() != pixels * 3)
    return fail("frame " + std::to_string(frames_ + 1) + " is " + std::to_string(frame.width) + "x" +
                std::to_string(frame.height) + ", the animation " + std::to_string(width_) + "x" +
                std::to_string(height_));
  for (size_t i = 0; i < pixels; ++i) {
    red_[i] = frame.rgb[3 * i];
    green_[i] = frame.rgb[3 * i + 1];
    blue_[i] = frame.rgb[3 * i + 2];
  }
  GifColorType palette[256] = {};
  int colours = 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(width_), static_cast<unsigned>(height_), &colours, red_.data(),
                        green_.data(), blue_.data(), indices_.data(), palette) == GIF_ERROR)
    return fail("the colours of frame " + std::to_string(frames_ + 1) + " could not be reduced to a palette");
  // A palette holds a power of two of colours; entries past those used are black.
  ColorMapObject* map = GifMakeMapObject(1 << GifBitSize(colours < 2 ? 2 : colours), palette);
  if (!map) return fail("out of memory");

  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delay_;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const size_t extension_size = EGifGCBToExtension(&control, extension);
  errno = 0;
  const bool written =
      EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extension_size), extension) != GIF_ERROR &&
      EGifPutImageDesc(gif_, 0, 0, width_, height_, false, map) != GIF_ERROR &&
      EGifPutLine(gif_, indices_.data(), static_cast<int>(pixels)) != GIF_ERROR;
  GifFreeMapObject(map);
  if (!written) return gif_failure(gif_->Error);
  ++frames_;
  return status_;
}

Status GifAnimationWriter::finish() {
  if (!status_.ok()) return status_;
  if (frames_ == 0) return fail("no frame to write");
  int error = 0;
  errno = 0;
  const int closed = EGifCloseFile(gif_, &error);
  gif_ = nullptr;
  if (closed == GIF_ERROR) return gif_failure(error);
  Status committed = staged_.commit(file_);
  // A second finish() (or add()) without open() is refused.
  status_ = committed.ok() ? Status::failure("cannot write " + quoted(file_) + ": the animation was finished")
                           : committed;
  return committed;
}

}  // namespace kurvo::media
