// The mesh formats the tool reads: OBJ (our own reader), glTF and GLB, PLY,
// STL and COLLADA (.dae) through the import library. Each is tested, fuzzed
// (fuzz/) and checked before it is parsed (import_limits.h). The import
// library reads many more, but not all of them survive hostile files (some
// crash on small changes to the library's own test models, some never
// finish, zip containers inflate without bound), so the list is closed: any
// other name is refused before the library sees the file, and the library
// is left with the importers of the file's own format alone, so that no
// content sniffing hands the file to another one.
#ifndef KURVO_MEDIA_IMPORT_FORMATS_H
#define KURVO_MEDIA_IMPORT_FORMATS_H

#include <filesystem>
#include <string>
#include <vector>

namespace Assimp {
class Importer;
}

namespace kurvo::media {

// The extensions read, with their dots, in the order messages list them.
const std::vector<std::string>& supported_import_extensions();

// Empty when `file`'s extension names a format that is read; otherwise why
// not, without the file's name ("'.fbx' files are not read; ...").
std::string import_format_refusal(const std::filesystem::path& file);

// Removes from `importer` every importer but those of `file`'s own format
// (none when the format is not read), so that no content sniffing hands the
// file to another importer.
void keep_importers_for(Assimp::Importer& importer, const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
