// What an evaluated scene looks like from outside: its polygon objects as
// world-space meshes (for mesh export and the preview), and the preview's
// lines: every spline as a polyline and every object's editor drawing.
#pragma once

#include <vector>

#include "mesh.h"
#include "raster.h"

namespace kurvo::host {
class Document;
}

namespace kurvo::scenefile {

// Every polygon object, in tree order: its current (evaluated) points in world
// coordinates, in point order, its polygons, its name, and a colour from a
// small palette so neighbouring objects read apart.
std::vector<kurvo::media::Mesh> worldMeshes(const host::Document& document);

struct Preview {
  std::vector<kurvo::media::Mesh> meshes;
  std::vector<kurvo::media::Line> lines;
  kurvo::media::DrawList drawList() const;
};

// The meshes, every spline (and spline primitive) as a line in world space,
// and the editor drawing (pass 0) of every plug-in object over it.
Preview buildPreview(host::Document& document);

}  // namespace kurvo::scenefile
