// FrameSeries: an evaluated animation as the writers of animated files see it.
//
// The scene is evaluated once per sampled frame; every polygon object becomes
// one AnimatedMesh whose topology (polygons) is that of the first sample and
// stays the same throughout. Per sample it keeps the object's points in its
// own coordinates and its placement (object to world, in the host's
// left-handed Y-up frame), so that a writer can either animate a node and
// morph the points in object space, or bake world positions
// (world = placement * point). Nothing here is in a file's frame yet: the
// writers apply axis_convention.h themselves.
//
// Memory: 12 bytes per point per sample plus 48 per placement; the caller
// checks the product of points and samples against its budget before
// building a series.
#ifndef KURVO_MEDIA_FRAME_SERIES_H
#define KURVO_MEDIA_FRAME_SERIES_H

#include <optional>
#include <string>
#include <vector>

#include "matrix.h"
#include "mesh.h"
#include "vector.h"

namespace kurvo::media {

struct AnimatedMesh {
  std::string name;
  // The faces and every attribute of the first sample (points left empty),
  // for writers that keep them; `polygons` are its quads and triangles
  // (mesh_polygons()).
  Mesh surface;
  std::vector<Polygon> polygons;
  std::optional<Vector> colour;  // as Mesh::colour, taken at the first sample
  // One entry per sample, parallel to FrameSeries::frames.
  std::vector<Matrix> placements;
  std::vector<std::vector<Vector>> points;  // object coordinates; same count every sample
};

struct FrameSeries {
  double fps = 30.0;            // frames per second of the scene's timeline
  std::vector<double> frames;   // the sampled frame numbers, increasing
  std::vector<AnimatedMesh> meshes;

  // Seconds from the first sample, as animation formats key their times.
  double secondsAt(size_t sample) const { return (frames[sample] - frames.front()) / fps; }
  size_t samples() const { return frames.size(); }
};

// World coordinates (host frame) of one mesh at one sample.
std::vector<Vector> world_points(const AnimatedMesh& mesh, size_t sample);

}  // namespace kurvo::media

#endif
