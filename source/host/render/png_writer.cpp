#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include "atomic_file.h"
#include "path_text.h"

namespace kurvo::media {
namespace {

// libpng reports errors through a callback that must not return; the
// message is kept here and control goes back to the setjmp in encode().
struct ErrorSink {
  char message[256] = {};
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message) {
  auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}  // library code stays silent

// Plain C-style body: no object with a destructor lives across setjmp.
bool encode(const Image& image, std::FILE* out, ErrorSink& sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_png_error, on_png_warning);
  if (!png) {
    std::snprintf(sink.message, sizeof sink.message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    if (!info && sink.message[0] == '\0') std::snprintf(sink.message, sizeof sink.message, "out of memory");
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, const_cast<png_bytep>(image.rgb.data() + static_cast<size_t>(y) * stride));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

Status write_png(const Image& image, const std::filesystem::path& file) {
  const std::string name = quoted(file);
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3)
    return Status::failure("cannot write " + name + ": the picture is empty or malformed");

  return write_file_atomically(file, [&](const std::filesystem::path& temp) {
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) return Status::failure("cannot write " + name + ": " + std::strerror(errno));
    ErrorSink sink;
    errno = 0;
    const bool encoded = encode(image, out, sink);
    // libpng reports a failed write as "Write Error": the system's reason
    // (a full disk, say) says more.
    const int write_errno = !encoded && std::ferror(out) ? errno : 0;
    const int close_errno = std::fclose(out) == 0 ? 0 : errno;
    if (!encoded)
      return Status::failure("cannot write " + name + ": " + (write_errno ? std::strerror(write_errno) : sink.message));
    if (close_errno != 0) return Status::failure("cannot write " + name + ": " + std::strerror(close_errno));
    return Status::success();
  });
}

}  // namespace kurvo::media
