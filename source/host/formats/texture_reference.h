// How a written file names a texture: a file it does not copy, or a picture
// the source embeds, written beside it.
#ifndef KURVO_MEDIA_TEXTURE_REFERENCE_H
#define KURVO_MEDIA_TEXTURE_REFERENCE_H

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "atomic_file.h"
#include "result.h"

namespace kurvo::media {

// The texture's path relative to the folder of `file` (the output that names
// it) where it can be, else absolute; forward slashes.
std::string texture_reference(const std::string& texture, const std::filesystem::path& file);

// A name as a file name part: letters, digits, '-', '_' and '.' kept, the
// rest '_' ("material" for an empty name).
std::string file_word(const std::string& name);

// The pictures a source file embeds (a .glb's images), written beside an
// output that can only name picture files: `<stem>_<material>.png` (`.jpg`
// for a JPEG) in the output's folder, staged with the output so that they
// appear with it or not at all. Each picture is written once, however many
// materials show it; two pictures whose names come out the same (names that
// differ only in characters a file name drops, or a texture file the output
// names already) get a number: `<stem>_<material>_2.png`.
class SideImages {
 public:
  SideImages(const std::filesystem::path& output, StagedFiles& files) : output_(output), files_(files) {}

  // Keeps `texture` (a file the output names as it is) from being written over.
  void keep(const std::string& texture);
  // The picture's file name (relative to the output's folder) for the
  // material named `material`: written now, or the name it was written under.
  Result<std::string> write(const std::string& material, const std::shared_ptr<const std::string>& picture);

 private:
  const std::filesystem::path& output_;
  StagedFiles& files_;
  std::map<const std::string*, std::string> written_;  // by picture
  std::set<std::filesystem::path> taken_;               // full paths, written or kept
  std::set<std::string> stems_;
};

}  // namespace kurvo::media

#endif
