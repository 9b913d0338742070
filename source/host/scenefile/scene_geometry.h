// Geometry of scene-file objects: inline points and polygons, mesh files and
// mesh primitives for polygon objects; inline splines and spline primitives.
//
// A polygon object read from a mesh file or a primitive remembers where its
// geometry came from (GeometrySource), so saving writes the same short
// reference back instead of every point, as long as the object still has
// exactly the points and polygons that the source gave.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "json_text.h"
#include "mesh.h"
#include "mesh_optimize.h"
#include "read_context.h"
#include "vector.h"

namespace kurvo::host {
class Object;
}

namespace kurvo::scenefile {

struct GeometrySource {
  Json primitive;                  // the "primitive" block as read, or null
  std::filesystem::path meshFile;  // the mesh file (absolute), or empty
  std::string meshName;            // "mesh_name" as read, or empty
  bool meshRawAxes = false;        // "mesh_axes": "raw"
  bool meshWeld = false;           // "mesh_weld": true
  float meshScale = 1.0f;          // "mesh_scale"
  bool carryNormals = false;       // "normals": "carry" (else "renew")
  uint64_t fingerprint = 0;        // of the points and polygons the source gave
  // A mesh file's faces and attributes (UVs, normals, colours, materials,
  // smoothing) without its points, for writers that carry them; it fits the
  // object while its polygons hash to polygonHash (the deformer moves points
  // only, so a bend keeps it).
  std::shared_ptr<const kurvo::media::Mesh> surface;
  uint64_t polygonHash = 0;
};

struct GeometryLimits {
  // Most points a primitive may generate; a larger request is refused
  // (a typo such as 1e9 segments would otherwise exhaust memory).
  uint64_t maxPrimitivePoints = 50'000'000;
  // Most points of all objects together (see ReadContext::chargePoints).
  uint64_t maxScenePoints = 100'000'000;
  bool allowMeshFiles = true;
  // Mesh files may name resources outside their own folder.
  bool allowOutsideResources = false;
};

uint64_t fingerprintOf(const std::vector<Vector>& points, const std::vector<kurvo::geo::Polygon>& polygons);

// The source's surface when it still fits the object's polygons, else null.
const kurvo::media::Mesh* surfaceFor(const GeometrySource& source, const std::vector<kurvo::geo::Polygon>& polygons);

// The source's surface (which must be there) for an object that is done
// with: moved out when nothing else holds it, the source left without one;
// a copy otherwise.
kurvo::media::Mesh takeSurface(GeometrySource& source);

// Polygon objects: "points" and "polygons", or "mesh" (and "mesh_name"), or
// "primitive". Answers the source for the last two.
std::optional<GeometrySource> readPolygonGeometry(const Json& entry, host::Object& object,
                                                  const ReadContext& context,
                                                  const std::filesystem::path& baseDirectory,
                                                  const GeometryLimits& limits);

// The object type a "spline" entry makes: the spline primitive its
// "primitive" block names, or a plain spline.
int32_t splineTypeOf(const Json& entry, const ReadContext& context);
// Spline objects: "points", "interpolation", "closed", "tangents_in",
// "tangents_out", "segments"; spline primitives: "primitive".
void readSplineGeometry(const Json& entry, host::Object& object, const ReadContext& context,
                        const GeometryLimits& limits);

// Sizes of a spline primitive given as parameters by ID ("params": {"2001":
// -100}) obey the same rules as in its "primitive" block, so whatever loads
// also saves and loads again. Called once its parameters are read; charges
// the points it will make to the scene's budget.
void checkSplinePrimitiveParams(host::Object& object, const ReadContext& context, const std::string& field,
                                const GeometryLimits& limits);

// The rule a spline primitive of `type` applies to its size `id`, for
// `value` (`whole` when given as an integer): empty when it holds or no rule
// covers the size, else the problem ("must be greater than 0"). Animation
// keys go through it as well as the values read.
std::string primitiveValueProblem(int32_t type, int32_t id, double value, bool whole);
// A helix of `turns` turns and `subdivision` points per turn within the
// primitive limit (nothing is charged to the scene's budget).
void checkHelixPoints(double turns, double subdivision, const GeometryLimits& limits, const ReadContext& context,
                      const std::string& field);

// Writers: add the geometry fields of `object` to `entry`. Mesh paths are
// written relative to `targetDirectory` where possible. A mesh's points are
// left to the printer (see prettyJson with point lists).
void writePolygonGeometry(const host::Object& object, const GeometrySource* source,
                          const std::filesystem::path& targetDirectory, PointLists& pointLists, Json& entry);
void writeSplineGeometry(const host::Object& object, Json& entry);

// Points as [[x, y, z], ...].
Json pointsJson(const std::vector<Vector>& points);

}  // namespace kurvo::scenefile
