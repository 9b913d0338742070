// Animated glTF 2.0 output: a FrameSeries as one .glb, or as .gltf with a
// .bin beside it. No extensions are used. What a reader finds:
//
// Nodes and meshes. One node per AnimatedMesh at the top of the scene, named
// after it ("mesh3" when unnamed), holding one mesh of the same name with
// one primitive: triangles with unit normals and 32-bit indices, or points
// when the object has no polygons, and a material of its own from the
// colour, exactly as write_gltf writes a still mesh (an object without
// points gets a node without a mesh). Where the mesh still has the faces of
// its file (AnimatedMesh::surface), its UV sets, point colours and materials
// come along as write_gltf writes them: vertices split further where UVs
// differ, one primitive per material used, all sharing the vertices and the
// morph targets, and the base colour textures (embedded in a .glb, named
// relative to a .gltf). Coordinates are in glTF's frame as
// the still export has them (axis_convention.h: (x, y, -z) times the scale,
// winding reversed), or the host's own with raw axes.
//
// Placement. When an object's placement is a rotation times a positive
// scale at every sample (node_transform.h), its node carries the placement
// as translation, rotation and scale (the first sample's; the others come
// from the animation) and its mesh holds the object's own points. Otherwise
// (a sheared, flattened or mirrored placement at some sample) the object is
// baked: its node stays at identity and its mesh holds world positions.
//
// Deformation. When the points a mesh holds (own or world) differ between
// samples, the mesh has one morph target per sample after the first: target
// k holds the displacement of sample k+1 from the first sample (POSITION,
// and NORMAL for triangles) and is named after its frame ("frame 12") in
// the mesh's extras.targetNames, where importers look for shape key names.
// The base attributes are the first sample; the mesh's default weights are
// all 0. The vertex layout (points repeated where normals differ) is the
// first sample's throughout; a later sample gives each vertex the normal
// its corner has then. Objects that never change have no targets.
//
// Animation. With more than one sample and anything that changes, one
// animation named "Take" keys every sample at its time from the first
// (FrameSeries::secondsAt), all LINEAR: a translation, rotation or scale
// channel for each path of a node that changes (quaternions kept in one
// hemisphere, so each step turns the short way round), and a weights
// channel per morphed mesh, which at key 0 has every weight 0 and at key k
// weight k-1 at 1 and the others 0, so playback blends neighbouring frames
// linearly. All samplers share one key time accessor, and all weights
// channels one output accessor. A single sample writes a still file
// without animation.
//
// Cost: the morph targets are never held in memory; their accessors and
// bounds are planned first and their bytes made again while the file is
// written (10^5 points over 100 frames: bench/gltf_animation_bench.cpp).
//
// Errors a scene can cause (a point or translation that the scale carries
// beyond float range, frames too close to key apart) fail with one message
// naming the file (and the object), and nothing is written.
#ifndef KURVO_MEDIA_GLTF_ANIMATION_H
#define KURVO_MEDIA_GLTF_ANIMATION_H

#include <filesystem>

#include "frame_series.h"
#include "mesh_export.h"
#include "result.h"

namespace kurvo::media {

// .glb or .gltf by the file's extension (case-insensitive), as write_gltf.
Status write_animated_gltf(const FrameSeries& series, const std::filesystem::path& file,
                           const ExportOptions& options);

}  // namespace kurvo::media

#endif
