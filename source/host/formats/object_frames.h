// How one object of a FrameSeries goes into an animated file: placed by a
// node whose transform is keyed per sample, or baked (node_transform.h says
// which), and what its points are per sample as the file holds them: the
// object's own points, or world points when baked; in the file's frame
// (axis_convention.h) times the export scale, or raw.
#ifndef KURVO_MEDIA_OBJECT_FRAMES_H
#define KURVO_MEDIA_OBJECT_FRAMES_H

#include <vector>

#include "frame_series.h"
#include "mesh_export.h"
#include "node_transform.h"

namespace kurvo::media {

class ObjectFrames {
 public:
  // The mesh and the options must outlive this.
  ObjectFrames(const AnimatedMesh& mesh, const ExportOptions& options);

  // A placement at some sample cannot be a node's transform.
  bool baked() const { return transforms_.empty(); }
  // Per sample, when not baked; neighbouring rotations in one hemisphere.
  const std::vector<NodeTransform>& transforms() const { return transforms_; }

  // The points the file holds differ between samples.
  bool deformed() const;

  // The points at one sample as the file holds them; false when one is not
  // a finite float there.
  bool points_at(size_t sample, std::vector<Vector>& out) const;

  // The polygons in the file's winding.
  std::vector<Polygon> polygons() const;

 private:
  const AnimatedMesh& mesh_;
  const ExportOptions& options_;
  std::vector<NodeTransform> transforms_;
};

}  // namespace kurvo::media

#endif
