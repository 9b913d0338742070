// PNG output of rendered pictures.
#ifndef KURVO_MEDIA_PNG_WRITER_H
#define KURVO_MEDIA_PNG_WRITER_H

#include <filesystem>

#include "raster.h"
#include "result.h"

namespace kurvo::media {

// Writes the image as an 8-bit RGB PNG, atomically (atomic_file.h). Failures
// name the file and give libpng's or the system's reason.
Status write_png(const Image& image, const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
