#include "import_formats.h"

#include <assimp/BaseImporter.h>
#include <assimp/importerdesc.h>

#include <assimp/Importer.hpp>
#include <algorithm>
#include <sstream>

#include "path_text.h"

namespace kurvo::media {
namespace {

// True when `info` lists `extension` (without its dot) among its own.
bool claims(const aiImporterDesc* info, const std::string& extension) {
  if (!info || !info->mFileExtensions) return false;
  std::istringstream words(info->mFileExtensions);
  std::string word;
  while (words >> word)
    if (word == extension) return true;
  return false;
}

}  // namespace

const std::vector<std::string>& supported_import_extensions() {
  static const std::vector<std::string> list{".obj", ".gltf", ".glb", ".ply", ".stl", ".dae"};
  return list;
}

std::string import_format_refusal(const std::filesystem::path& file) {
  const std::string extension = lower_extension(file);
  for (const std::string& e : supported_import_extensions())
    if (extension == e) return {};
  std::string list;
  for (const std::string& e : supported_import_extensions()) list += (list.empty() ? "" : " ") + e;
  const std::string what = extension.empty() ? "a file without an extension is" : "'" + extension + "' files are";
  return what + " not read as meshes; the formats read are " + list;
}

void keep_importers_for(Assimp::Importer& importer, const std::filesystem::path& file) {
  const std::string extension = lower_extension(file).substr(std::min<size_t>(1, lower_extension(file).size()));
  for (size_t i = importer.GetImporterCount(); i-- > 0;) {
    if (!import_format_refusal(file).empty() || !claims(importer.GetImporterInfo(i), extension)) {
      Assimp::BaseImporter* other = importer.GetImporter(i);
      if (importer.UnregisterLoader(other) == AI_SUCCESS) delete other;  // unregistering hands it back
    }
  }
}

}  // namespace kurvo::media
