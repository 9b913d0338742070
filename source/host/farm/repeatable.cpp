#include "repeatable.h"

#include <variant>

#include "core/host_state.h"
#include "scene/document.h"

namespace kurvo::farm {
namespace {

// Deformers whose result depends on the evaluations before it while one of
// their parameters is not zero, unless the deformed object carries a tag.
struct HistoryRule {
  const char* deformer;   // the object plug-in's registered name
  const char* parameter;  // the parameter's symbol
  const char* tag;        // the tag plug-in's registered name
  const char* why;
};

constexpr HistoryRule kRules[] = {
    {"Kurvo2", "KURVO_RANDOM", "VorlaDeformerTag",
     "a random twist without a deformer tag draws a new value at every evaluation, so each frame depends on "
     "all the frames evaluated before it and a shard cannot repeat what a single run gives"},
};

int32_t tagType(const host::HostState& host, const char* name) {
  for (const host::RegisteredPlugin* p : host.registry.all())
    if (p->name == name) return p->id;
  return 0;
}

// The parameter's largest magnitude: at rest and at any key of its tracks.
float largestValue(const host::Object& o, int32_t id, const animation::Timeline& timeline) {
  float most = 0.0f;
  const auto consider = [&](float v) { most = std::max(most, std::abs(v)); };
  if (const host::Data* d = o.parameters().find(id); d && d->type() == KH_DA_REAL) consider(d->getReal());
  if (const animation::ObjectAnimation* a = timeline.find(o.serial()))
    for (const animation::Track& t : a->tracks)
      if (t.channel == animation::Channel::parameter && t.parameter == id)
        for (const animation::Key& k : t.keys)
          if (const float* v = std::get_if<float>(&k.value)) consider(*v);
  return most;
}

}  // namespace

kurvo::media::Status checkRepeatable(const host::Document& document, const host::HostState& host,
                                     const animation::Timeline& timeline, const std::string& scene) {
  std::string problem;
  document.forEachObject([&](host::Object& o) {
    if (!problem.empty() || !o.isDeformer() || !o.deformEnabled() || !o.plugin() || !o.parent()) return;
    for (const HistoryRule& rule : kRules) {
      if (o.plugin()->name != rule.deformer) continue;
      const auto description = host.descriptions.find(o.type());
      if (description == host.descriptions.end()) continue;
      const host::DescParameter* parameter = description->second.findBySymbol(rule.parameter);
      if (!parameter || largestValue(o, parameter->id, timeline) == 0.0f) continue;
      const int32_t tag = tagType(host, rule.tag);
      if (tag && o.parent()->findTag(tag)) continue;
      problem = scene + ": object \"" + o.name() + "\": " + rule.parameter + " is not 0 and \"" +
                o.parent()->name() + "\" has no deformer tag: " + rule.why +
                ". To split it, give \"" + o.parent()->name() + "\" a deformer tag (\"tags\": [{\"type\": " +
                std::to_string(tag) + ", \"params\": {\"1000\": SEED}}]) or set " + rule.parameter +
                " to 0; or evaluate it in one run";
      return;
    }
  });
  return problem.empty() ? kurvo::media::Status::success() : kurvo::media::Status::failure(problem);
}

}  // namespace kurvo::farm
