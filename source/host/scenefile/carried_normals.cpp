#include "carried_normals.h"

#include "scene/deformation_derivative.h"
#include "scene/document.h"

namespace kurvo::scenefile {

CarriedNormals carryAuthoredNormals(host::Document& document,
                                    const std::unordered_map<uint64_t, GeometrySource>& sources, NormalChoice choice) {
  CarriedNormals out;
  if (choice == NormalChoice::renew) return out;
  std::vector<host::Object*> objects;
  document.forEachObject([&](host::Object& o) {
    if (o.isPolygon() && !o.isArraySource()) objects.push_back(&o);
  });
  for (host::Object* o : objects) {
    const auto found = sources.find(o->serial());
    if (found == sources.end()) continue;
    if (choice == NormalChoice::asScene && !found->second.carryNormals) continue;
    const kurvo::media::Mesh* surface = surfaceFor(found->second, o->polygons());
    if (!surface) {
      if (found->second.carryNormals || choice == NormalChoice::carry)
        if (found->second.surface && !found->second.surface->corner_normals.empty())
          out.warnings.push_back("object \"" + o->name() +
                                 "\": its polygons are no longer the file's, so its normals are made again");
      continue;
    }
    if (surface->corner_normals.size() != surface->corners.size()) continue;  // nothing authored to carry
    std::vector<Vector> normals = surface->corner_normals.per_corner_list();
    if (!o->appliedDeformers.empty()) {
      const auto derivatives = host::deformationDerivatives(document, *o);
      if (!derivatives || derivatives->size() != o->restPoints().size()) {
        out.warnings.push_back("object \"" + o->name() +
                               "\": its deformers could not be measured again, so its normals are made again");
        continue;
      }
      for (size_t c = 0; c < normals.size(); ++c)
        if (normals[c] != Vector(0.0f, 0.0f, 0.0f))
          normals[c] = host::carryNormal((*derivatives)[size_t(surface->corners[c])], normals[c]);
    }
    out.objects.emplace(o->serial(), std::move(normals));
  }
  return out;
}

}  // namespace kurvo::scenefile
