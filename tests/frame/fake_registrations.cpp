#include "fake_registrations.h"

#include "frame/registrations.h"

namespace fakereg {
std::vector<std::string> calls;
std::string failing;
}  // namespace fakereg

namespace {
Bool Record(const char* name) {
  fakereg::calls.emplace_back(name);
  return fakereg::failing != name;
}
}  // namespace

Bool RegisterVorlaDeformer() { return Record("deformer"); }
Bool RegisterNimbobarGUI() { return Record("titlebar"); }
Bool RegisterVorlaGradient() { return Record("gradient"); }
Bool RegisterVorlaDeformerTag() { return Record("tag"); }
