// Fingerprints of what a part was made from: the scene file and every mesh
// it reads, and the plug-in modules, so a merge never joins parts that came
// from different inputs. FNV-1a (64 bits) over the bytes: it guards against
// edits and mix-ups, not against anyone forging a part.
#pragma once

#include <filesystem>
#include <string>

namespace kurvo::host {
class HostSession;
}
namespace kurvo::scenefile {
struct Scene;
}

namespace kurvo::farm {

// The scene file's bytes and those of each mesh file it reads, in hex; a
// file that cannot be read counts as empty (loading would have failed).
std::string sceneFingerprint(const scenefile::Scene& scene);

// "Kurvo2 3f2a..." per loaded module, joined by ", ".
std::string moduleFingerprints(const host::HostSession& session);

}  // namespace kurvo::farm
