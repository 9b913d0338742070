#include "fingerprint.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "core/host_session.h"
#include "scene_file.h"

namespace kurvo::farm {
namespace {

constexpr uint64_t kOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kPrime = 0x100000001b3ull;

uint64_t mix(uint64_t hash, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<unsigned char>(data[i])) * kPrime;
  return hash;
}

uint64_t fileHash(const std::filesystem::path& file, uint64_t hash) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    hash = mix(hash, buffer.data(), static_cast<size_t>(in.gcount()));
  }
  return hash;
}

std::string hex(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

std::string sceneFingerprint(const scenefile::Scene& scene) {
  uint64_t hash = fileHash(scene.file, kOffset);
  std::vector<std::filesystem::path> meshes;
  for (const auto& [serial, source] : scene.sources)
    if (!source.meshFile.empty()) meshes.push_back(source.meshFile);
  std::sort(meshes.begin(), meshes.end());
  meshes.erase(std::unique(meshes.begin(), meshes.end()), meshes.end());
  for (const auto& m : meshes) {
    const std::string name = m.string();
    hash = fileHash(m, mix(hash, name.data(), name.size()));
  }
  return hex(hash);
}

std::string moduleFingerprints(const host::HostSession& session) {
  std::string text;
  for (const auto& m : session.modules()) {
    if (!text.empty()) text += ", ";
    text += m->name + " " + hex(fileHash(m->file, kOffset));
  }
  return text;
}

}  // namespace kurvo::farm
