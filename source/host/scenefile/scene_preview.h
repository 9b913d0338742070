// What an evaluated scene looks like from outside: its polygon objects as
// world-space meshes (for mesh export and the preview), and the preview's
// lines: every spline as a polyline and every object's editor drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "axis_convention.h"
#include "carried_normals.h"
#include "mesh.h"
#include "raster.h"
#include "scene_geometry.h"

namespace kurvo::host {
class Document;
class Object;
class RenderShading;
}

namespace kurvo::scenefile {

// Every polygon object (but an array's source, a template: its copies
// stand for it), in tree order: its current (evaluated) points in world
// coordinates, in point order, its polygons, its name, and a colour: its
// material's (as `shading` bakes it: one sample of the shader for the object;
// without `shading`, a shader material's fallback colour), else one from a
// small palette so neighbouring objects read apart. With `into`, points and
// polygons go on into a file's frame as they are made (an export's
// media::file_mapping), sparing the export a pass of its own over them.
// With `sources` (a loaded scene's, by object serial), an object read from a
// mesh file whose polygons are still those the file gave comes out with the
// file's own faces (n-gons whole) and their UVs, normals, colours, materials
// and smoothing, only its points moved; its authored normals turn with the
// object's placement (and into the file's frame with `into`). With
// `carried`, the objects it names write their carried normals as they are
// (Mesh::keep_corner_normals); a corner without one takes the normal made
// again from the bent surface.
std::vector<kurvo::media::Mesh> worldMeshes(const host::Document& document,
                                            const host::RenderShading* shading = nullptr,
                                            const kurvo::media::FileMapping* into = nullptr,
                                            const std::unordered_map<uint64_t, GeometrySource>* sources = nullptr,
                                            const CarriedNormals* carried = nullptr);

// As worldMeshes(), for a document that is done with: each object's points
// move into its mesh (changed into world space in place) and its polygons
// and rest state are freed as they are copied, so an export holds one copy
// of the geometry rather than two. A file's surface in `sources` moves into
// its mesh where nothing else holds it (the source is left without one).
// The document and the sources are left without geometry; only destroying
// them is safe afterwards.
std::vector<kurvo::media::Mesh> takeWorldMeshes(host::Document& document,
                                                const host::RenderShading* shading = nullptr,
                                                const kurvo::media::FileMapping* into = nullptr,
                                                std::unordered_map<uint64_t, GeometrySource>* sources = nullptr,
                                                const CarriedNormals* carried = nullptr);

struct Preview {
  std::vector<kurvo::media::Mesh> meshes;
  std::vector<kurvo::media::Line> lines;
  // Per mesh: what colours it pixel by pixel (null: its own colour).
  std::vector<std::unique_ptr<kurvo::media::SurfaceShader>> surfaces;
  // Per mesh: left empty (no points, no polygons) as `include` asked.
  std::vector<bool> left;
  // Per mesh: points alone, its faces left out as `pointsOnly` asked.
  std::vector<bool> pointsOnly;
  std::vector<uint64_t> serials;  // per mesh: its object's serial
  kurvo::media::DrawList drawList() const;
};

// The meshes, every spline (and spline primitive) as a line in world space,
// and the editor drawing (pass 0) of every plug-in object over it. Objects
// whose material has a shader are coloured per pixel through `shading`, which
// must outlive the rendering of the preview; the shader sees the object in
// the sample's render context and, as texture coordinate, the point's place
// in the object's bounding box (0..1 on each axis).
// With `include`, the meshes of the polygon objects it answers false for are
// left empty (their places in `meshes` kept), sparing the copy of their points;
// with `pointsOnly`, those it answers true for get their points without
// faces (a caller that has the faces already, such as the viewer).
// With `sources` (a loaded scene's), a mesh read from a file whose polygons
// are still those the file gave comes out with the file's own faces and
// attributes, as worldMeshes() gives them: a render draws each face in its
// material's colour, the file's point colours across them, unless the
// scene gives the object a material (then its whole look, as in every
// output).
Preview buildPreview(host::Document& document, const host::RenderShading* shading = nullptr,
                     const std::function<bool(const host::Object&)>& include = {},
                     const std::function<bool(const host::Object&)>& pointsOnly = {},
                     const std::unordered_map<uint64_t, GeometrySource>* sources = nullptr);

}  // namespace kurvo::scenefile
