#include "scene_preview.h"

#include "normal_renewal.h"
#include "scene/deformation_derivative.h"
#include "scene/document.h"
#include "scene/shading.h"

namespace kurvo::scenefile {
namespace {

const Vector kPalette[] = {
    {0.90f, 0.50f, 0.34f}, {0.40f, 0.62f, 0.92f}, {0.60f, 0.82f, 0.42f},
    {0.84f, 0.46f, 0.78f}, {0.94f, 0.80f, 0.36f}, {0.40f, 0.80f, 0.80f},
};
const Vector kSplineColour{0.45f, 0.95f, 0.70f};
// Samples per span of a curved spline: smooth enough for a preview line.
constexpr int kSamplesPerSpan = 24;

Vector transform(const KhMatrix& m, const Vector& p) {
  return FromKh(m.off) + FromKh(m.v1) * p.x + FromKh(m.v2) * p.y + FromKh(m.v3) * p.z;
}

void addSplineLines(host::Object& object, std::vector<kurvo::media::Line>& lines) {
  host::Object* real = object.realSpline();
  if (!real) return;
  const KhMatrix m = object.globalMatrix();
  const kurvo::geo::Spline& spline = real->spline();
  for (int32_t s = 0; s < spline.SegmentCount(); ++s) {
    const kurvo::geo::SegmentView view = kurvo::geo::MakeSegmentView(spline, s);
    const int32_t spans = view.SpanCount();
    if (spans == 0) continue;
    const int32_t samples = view.interpolation == kurvo::geo::Interpolation::Linear ? spans : spans * kSamplesPerSpan;
    Vector previous = transform(m, kurvo::geo::SplinePoint(view, 0.0f));
    for (int32_t i = 1; i <= samples; ++i) {
      const float t = static_cast<float>(i) / static_cast<float>(samples);
      const Vector next = transform(m, kurvo::geo::SplinePoint(view, t));
      lines.push_back({previous, next, kSplineColour});
      previous = next;
    }
  }
}

// A shader material on one object, sampled at the rasteriser's pixels.
class MaterialSurface final : public kurvo::media::SurfaceShader {
 public:
  MaterialSurface(const host::RenderShading& shading, const host::Material& material, const host::Object& object,
                  const kurvo::media::Bounds& box)
      : shading_(shading), material_(material), object_(object), origin_(box.min) {
    const Vector size = box.max - box.min;
    scale_ = Vector(size.x > 0.0f ? 1.0f / size.x : 0.0f, size.y > 0.0f ? 1.0f / size.y : 0.0f,
                    size.z > 0.0f ? 1.0f / size.z : 0.0f);
  }

  Vector colour(const kurvo::media::SurfaceSample& sample) const override {
    const Vector d = sample.position - origin_;
    const KhVector uvw{d.x * scale_.x, d.y * scale_.y, d.z * scale_.z};
    return shading_.colour(material_, &object_, uvw, ToKh(sample.normal));
  }

 private:
  const host::RenderShading& shading_;
  const host::Material& material_;
  const host::Object& object_;
  Vector origin_, scale_;
};

// Carried normals (those brought through the bend) in world space and the
// file's frame, then kept. Normals that are not carried are left in the
// author's frame: they only say which corners of a point belong together,
// and that is judged by the angles the author made them with, which a
// scaled placement would change.
void placeNormals(kurvo::media::Mesh& mesh, const KhMatrix& m, const kurvo::media::FileMapping* into,
                  bool carried) {
  if (mesh.corner_normals.empty() || !carried) return;
  const host::NormalCarrier placement(host::LocalDerivative{FromKh(m.v1), FromKh(m.v2), FromKh(m.v3)});
  const bool mirror = into && !into->raw_axes;
  bool missing = false;
  for (Vector& n : mesh.corner_normals.values) {
    if (n == Vector(0.0f, 0.0f, 0.0f)) {
      missing = true;
      continue;
    }
    n = placement(n);
    if (mirror) n = kurvo::media::to_file_frame(n, into->frame);
  }
  mesh.keep_corner_normals = true;
  if (!missing) return;
  // Corners the file gave no normal: the bent surface's own.
  const kurvo::media::IndexedNormals renewed = kurvo::media::renew_normals(mesh);
  for (size_t c = 0; c < mesh.corner_normals.size(); ++c)
    if (mesh.corner_normals[c] == Vector(0.0f, 0.0f, 0.0f)) mesh.corner_normals.set(c, renewed.normals[renewed.corner[c]]);
}

// Calls visit(object, mesh) for every polygon object, in tree order.
// With `take`, each object hands its points over and frees its polygons and
// rest state once they are copied (host::Object::takeGeometry), and the
// file surfaces of `handOver` (the same map as `sources`) move into the
// meshes where nothing else shares them. Objects
// `include` answers false for get a mesh without points and polygons;
// those `pointsOnly` answers true for get their points alone (not with
// `into` or `take`).
template <class Visit>
void forEachMesh(const host::Document& document, const host::RenderShading* shading,
                 const kurvo::media::FileMapping* into, bool take,
                 const std::unordered_map<uint64_t, GeometrySource>* sources, const CarriedNormals* carried,
                 std::unordered_map<uint64_t, GeometrySource>* handOver, Visit&& visit, const std::function<bool(const host::Object&)>& include = {},
                 const std::function<bool(const host::Object&)>& pointsOnly = {}) {
  size_t index = 0;
  document.forEachObject([&](host::Object& o) {
    // An array's source is a template; its copies are the objects.
    if (!o.isPolygon() || o.isArraySource()) return;
    const kurvo::media::Mesh* surface = nullptr;
    if (sources)
      if (auto found = sources->find(o.serial()); found != sources->end())
        surface = surfaceFor(found->second, o.polygons());
    kurvo::media::Mesh mesh;
    const bool onlyPoints = pointsOnly && !into && !take && pointsOnly(o);
    if (surface && !onlyPoints) {
      if (take && handOver)
        mesh = takeSurface(handOver->at(o.serial()));
      else
        mesh = *surface;
    }
    mesh.name = o.name();
    // The colour first: a shader answers it for the object as it stands.
    const host::Material* material = document.materialOf(o);
    if (!material)
      mesh.colour = kPalette[index % std::size(kPalette)];
    else if (!material->shader)
      mesh.colour = material->colour;
    else
      mesh.colour = shading ? *shading->bakedColour(o) : FromKh(host::RenderShading::kFallbackColour);
    // A material the scene gives the object is its whole look, as a render
    // draws it: every face takes it in place of the file's own materials
    // (their textures too). Without one, the file's materials stay.
    if (material) {
      mesh.materials.clear();
      mesh.face_material.clear();
    }
    const KhMatrix m = o.globalMatrix();
    if (include && !include(o)) {
    } else if (onlyPoints) {
      mesh.points.reserve(o.points().size());
      for (const Vector& p : o.points()) mesh.points.push_back(transform(m, p));
    } else if (surface) {
      // The file's faces and attributes; only the points are the object's.
      if (take) {
        mesh.points = o.takeGeometry();
        for (Vector& p : mesh.points) p = into ? into->point(transform(m, p)) : transform(m, p);
      } else {
        mesh.points.clear();
        mesh.points.reserve(o.points().size());
        for (const Vector& p : o.points()) mesh.points.push_back(into ? into->point(transform(m, p)) : transform(m, p));
      }
      bool kept = false;
      if (carried)
        if (auto c = carried->objects.find(o.serial()); c != carried->objects.end()) {
          mesh.corner_normals = kurvo::media::CornerNormals::per_corner(c->second);  // before any turn of the winding
          kept = true;
        }
      if (into && !into->raw_axes) reverse_faces(mesh);
      placeNormals(mesh, m, into, kept);
    } else if (take) {
      mesh.reserve_faces(o.polygons().size(), 4 * o.polygons().size());
      for (const auto& p : o.polygons())
        mesh.add_polygon(into ? into->polygon({p.a, p.b, p.c, p.d}) : kurvo::media::Polygon{p.a, p.b, p.c, p.d});
      mesh.points = o.takeGeometry();
      for (Vector& p : mesh.points) p = into ? into->point(transform(m, p)) : transform(m, p);
    } else if (into) {
      mesh.points.reserve(o.points().size());
      mesh.reserve_faces(o.polygons().size(), 4 * o.polygons().size());
      for (const Vector& p : o.points()) mesh.points.push_back(into->point(transform(m, p)));
      for (const auto& p : o.polygons()) mesh.add_polygon(into->polygon({p.a, p.b, p.c, p.d}));
    } else {
      mesh.points.reserve(o.points().size());
      mesh.reserve_faces(o.polygons().size(), 4 * o.polygons().size());
      for (const Vector& p : o.points()) mesh.points.push_back(transform(m, p));
      for (const auto& p : o.polygons()) mesh.add_polygon({p.a, p.b, p.c, p.d});
    }
    ++index;
    visit(o, material, std::move(mesh));
  });
}

}  // namespace

std::vector<kurvo::media::Mesh> worldMeshes(const host::Document& document, const host::RenderShading* shading,
                                            const kurvo::media::FileMapping* into,
                                            const std::unordered_map<uint64_t, GeometrySource>* sources,
                                            const CarriedNormals* carried) {
  std::vector<kurvo::media::Mesh> meshes;
  forEachMesh(document, shading, into, false, sources, carried, nullptr, [&](host::Object&, const host::Material*, kurvo::media::Mesh&& mesh) {
    meshes.push_back(std::move(mesh));
  });
  return meshes;
}

kurvo::media::DrawList Preview::drawList() const {
  kurvo::media::DrawList list;
  for (const auto& m : meshes) list.meshes.push_back(&m);
  for (const auto& s : surfaces) list.shaders.push_back(s.get());
  list.lines = lines;
  return list;
}

std::vector<kurvo::media::Mesh> takeWorldMeshes(host::Document& document, const host::RenderShading* shading,
                                                const kurvo::media::FileMapping* into,
                                                std::unordered_map<uint64_t, GeometrySource>* sources,
                                                const CarriedNormals* carried) {
  std::vector<kurvo::media::Mesh> meshes;
  forEachMesh(document, shading, into, true, sources, carried, sources, [&](host::Object&, const host::Material*, kurvo::media::Mesh&& mesh) {
    meshes.push_back(std::move(mesh));
  });
  return meshes;
}

Preview buildPreview(host::Document& document, const host::RenderShading* shading,
                     const std::function<bool(const host::Object&)>& include,
                     const std::function<bool(const host::Object&)>& pointsOnly,
                     const std::unordered_map<uint64_t, GeometrySource>* sources) {
  Preview preview;
  forEachMesh(
      document, shading, nullptr, false, sources, nullptr, nullptr,
      [&](host::Object& o, const host::Material* material, kurvo::media::Mesh&& mesh) {
        const bool left = include && !include(o);
        if (material) mesh.point_colours.clear();  // the scene's material is the whole look
        preview.pointsOnly.push_back(!left && pointsOnly && pointsOnly(o));
        preview.serials.push_back(o.serial());
        std::unique_ptr<kurvo::media::SurfaceShader> surface;
        if (!left && shading && material && material->shader)
          surface = std::make_unique<MaterialSurface>(*shading, *material, o, kurvo::media::mesh_bounds(mesh));
        preview.meshes.push_back(std::move(mesh));
        preview.surfaces.push_back(std::move(surface));
        preview.left.push_back(left);
      },
      include, pointsOnly);
  document.forEachObject([&](host::Object& o) {
    if (o.isSpline() || o.isPrimitive()) addSplineLines(o, preview.lines);
  });
  host::DrawRecorder view;
  document.drawObjects(view, 1);
  for (const auto& l : view.lines) preview.lines.push_back({FromKh(l.a), FromKh(l.b), FromKh(l.colour)});
  return preview;
}

}  // namespace kurvo::scenefile
