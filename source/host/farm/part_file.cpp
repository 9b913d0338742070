#include "part_file.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "atomic_file.h"

namespace kurvo::farm {
namespace {

using Json = nlohmann::json;

constexpr char kMagic[] = "KURVO-PART 1\n";
constexpr size_t kMagicLength = sizeof kMagic - 1;
const char* byteOrder() { return std::endian::native == std::endian::little ? "little" : "big"; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Json originJson(const PartOrigin& o) {
  return {{"tool", o.tool},
          {"modules", o.modules},
          {"scene", o.sceneFile},
          {"scene_fingerprint", o.sceneFingerprint},
          {"command", o.command},
          {"output", o.output},
          {"options", o.options},
          {"range", {o.range.first, o.range.last, o.range.step}}};
}

Json recordJson(const PartRecord& r) {
  return {{"origin", originJson(r.origin)},
          {"shard", {r.shard.index, r.shard.count}},
          {"frames", {r.frames.first, r.frames.last, r.frames.step}},
          {"kind", r.kind},
          {"byte_order", byteOrder()},
          {"content", r.content},
          {"payload_bytes", r.payloadBytes}};
}

animation::FrameRange rangeOf(const Json& j) {
  return {j.at(0).get<long long>(), j.at(1).get<long long>(), j.at(2).get<long long>()};
}

PartRecord recordOf(const Json& j) {
  PartRecord r;
  const Json& o = j.at("origin");
  r.origin.tool = o.at("tool").get<std::string>();
  r.origin.modules = o.at("modules").get<std::string>();
  r.origin.sceneFile = o.at("scene").get<std::string>();
  r.origin.sceneFingerprint = o.at("scene_fingerprint").get<std::string>();
  r.origin.command = o.at("command").get<std::string>();
  r.origin.output = o.at("output").get<std::string>();
  r.origin.options = o.at("options").get<std::map<std::string, std::string>>();
  r.origin.range = rangeOf(o.at("range"));
  r.shard = {j.at("shard").at(0).get<long long>(), j.at("shard").at(1).get<long long>()};
  r.frames = rangeOf(j.at("frames"));
  r.kind = j.at("kind").get<std::string>();
  r.content = j.at("content");
  r.payloadBytes = j.at("payload_bytes").get<uint64_t>();
  if (j.at("byte_order").get<std::string>() != byteOrder())
    throw std::runtime_error("it was written on a machine of the other byte order");
  return r;
}

// Opens a part and moves past its header.
Result<File> openPayload(const std::filesystem::path& file, uint64_t payloadBytes, std::string* recordLine) {
  File in(std::fopen(file.c_str(), "rb"));
  if (!in) return Status::failure(file.string() + ": cannot read the part: " + std::strerror(errno));
  char magic[kMagicLength];
  if (std::fread(magic, 1, kMagicLength, in.get()) != kMagicLength || std::memcmp(magic, kMagic, kMagicLength) != 0)
    return Status::failure(file.string() + ": not a part file of kurvo eval --shard");
  std::string line;
  for (int c; (c = std::fgetc(in.get())) != '\n';) {
    if (c == EOF || line.size() > (16u << 20)) return Status::failure(file.string() + ": the part's record is cut off");
    line.push_back(static_cast<char>(c));
  }
  if (recordLine) *recordLine = std::move(line);
  if (payloadBytes != UINT64_MAX) {
    const long start = std::ftell(in.get());
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || start < 0 || size != static_cast<uintmax_t>(start) + payloadBytes)
      return Status::failure(file.string() + ": the part is damaged: " + std::to_string(ec ? 0 : size) +
                             " bytes where its record promises " + std::to_string(start + payloadBytes));
  }
  return in;
}

bool get(std::FILE* f, void* data, size_t bytes) { return bytes == 0 || std::fread(data, 1, bytes, f) == bytes; }

Status cutOff(const std::filesystem::path& file) { return Status::failure(file.string() + ": the part is cut off"); }

}  // namespace

std::string originDifference(const PartOrigin& a, const PartOrigin& b) {
  if (a.sceneFile != b.sceneFile) return "made from another scene (" + a.sceneFile + ", not " + b.sceneFile + ")";
  if (a.sceneFingerprint != b.sceneFingerprint)
    return "made from another version of " + a.sceneFile + " or of the meshes it reads";
  if (a.command != b.command) return "made by kurvo " + a.command + ", not kurvo " + b.command;
  if (a.output != b.output) return "made for a " + a.output + " output, not " + b.output;
  if (a.range.first != b.range.first || a.range.last != b.range.last || a.range.step != b.range.step)
    return "a shard of --frames " + std::to_string(a.range.first) + ":" + std::to_string(a.range.last) + ":" +
           std::to_string(a.range.step) + ", not " + std::to_string(b.range.first) + ":" +
           std::to_string(b.range.last) + ":" + std::to_string(b.range.step);
  for (const auto& [name, value] : a.options) {
    const auto it = b.options.find(name);
    const std::string other = it == b.options.end() ? "(not given)" : it->second;
    if (other != value) return "made with " + name + " " + value + ", not " + other;
  }
  for (const auto& [name, value] : b.options)
    if (!a.options.count(name)) return "made without " + name + ", not with " + name + " " + value;
  if (a.modules != b.modules) return "made with other plug-in modules (" + a.modules + ", not " + b.modules + ")";
  if (a.tool != b.tool) return "made by another kurvo (" + a.tool + ", not " + b.tool + ")";
  return {};
}

std::filesystem::path partName(const std::filesystem::path& out, const Shard& shard) {
  return out.parent_path() / (out.filename().string() + ".part-" + std::to_string(shard.index) + "-of-" +
                              std::to_string(shard.count));
}

std::vector<std::filesystem::path> partsBeside(const std::filesystem::path& out) {
  std::vector<std::filesystem::path> parts;
  const std::string prefix = out.filename().string() + ".part-";
  std::error_code ec;
  const std::filesystem::path dir = out.parent_path().empty() ? "." : out.parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    long long k = 0, n = 0;
    int used = 0;
    if (name.rfind(prefix, 0) == 0 && entry.is_regular_file(ec) &&
        std::sscanf(name.c_str() + prefix.size(), "%lld-of-%lld%n", &k, &n, &used) == 2 &&
        prefix.size() + static_cast<size_t>(used) == name.size())
      parts.push_back(out.parent_path() / name);
  }
  return parts;
}

struct PartWriter::State {
  kurvo::media::StagedFiles staged;
  std::filesystem::path file;
  File out;
  uint64_t promised = 0, written = 0;
  bool failed = false;
  int error = 0;
};

PartWriter::PartWriter() : state_(std::make_unique<State>()) {}
PartWriter::~PartWriter() = default;

Status PartWriter::open(const std::filesystem::path& file, const PartRecord& record) {
  State& s = *state_;
  s.file = file;
  s.promised = record.payloadBytes;
  const std::filesystem::path temp = s.staged.stage(file);
  s.out.reset(std::fopen(temp.c_str(), "wb"));
  if (!s.out) return Status::failure(file.string() + ": cannot write the part: " + std::strerror(errno));
  const std::string head = std::string(kMagic) + recordJson(record).dump() + "\n";
  s.written = 0;
  if (std::fwrite(head.data(), 1, head.size(), s.out.get()) != head.size()) s.failed = true, s.error = errno;
  return Status::success();
}

void PartWriter::write(const void* data, size_t bytes) {
  State& s = *state_;
  if (!s.out || s.failed || bytes == 0) return;
  if (std::fwrite(data, 1, bytes, s.out.get()) != bytes) s.failed = true, s.error = errno;
  s.written += bytes;
}

Status PartWriter::finish() {
  State& s = *state_;
  if (!s.out) return Status::failure(s.file.string() + ": the part was not opened");
  if (std::fflush(s.out.get()) != 0 && !s.failed) s.failed = true, s.error = errno;
  if (std::fclose(s.out.release()) != 0 && !s.failed) s.failed = true, s.error = errno;
  if (s.failed) {
    s.staged.discard();
    return Status::failure(s.file.string() + ": cannot write the part: " + std::strerror(s.error));
  }
  if (s.written != s.promised) {
    s.staged.discard();
    return Status::failure(s.file.string() + ": the part's payload came to " + std::to_string(s.written) +
                           " bytes, not the " + std::to_string(s.promised) + " its record gives");
  }
  return s.staged.commit(s.file);
}

Status writeSeriesPart(const std::filesystem::path& file, PartRecord record, const kurvo::media::FrameSeries& series) {
  record.kind = "series";
  Json meshes = Json::array();
  uint64_t perFrame = 0;
  for (const auto& mesh : series.meshes) {
    const size_t points = mesh.points.empty() ? 0 : mesh.points.front().size();
    meshes.push_back({{"name", mesh.name}, {"points", points}});
    perFrame += sizeof(Matrix) + points * sizeof(Vector);
  }
  record.content = {{"meshes", meshes}};
  record.payloadBytes = perFrame * series.samples();
  PartWriter part;
  if (auto s = part.open(file, record); !s) return s;
  for (size_t s = 0; s < series.samples(); ++s)
    for (const auto& mesh : series.meshes) {
      part.write(&mesh.placements[s], sizeof(Matrix));
      part.write(mesh.points[s].data(), mesh.points[s].size() * sizeof(Vector));
    }
  return part.finish();
}

Status writeTextPart(const std::filesystem::path& file, PartRecord record, const std::string& framesText,
                     const std::string* sceneText) {
  record.kind = "json";
  record.content = {{"frames_bytes", framesText.size()}, {"scene_bytes", sceneText ? sceneText->size() : 0}};
  record.payloadBytes = framesText.size() + (sceneText ? sceneText->size() : 0);
  PartWriter part;
  if (auto s = part.open(file, record); !s) return s;
  part.write(framesText.data(), framesText.size());
  if (sceneText) part.write(sceneText->data(), sceneText->size());
  return part.finish();
}

PartRecord imagesRecord(PartRecord record, int width, int height, double fps, size_t pictures) {
  record.kind = "images";
  record.content = {{"width", width}, {"height", height}, {"fps", fps}, {"pictures", pictures}};
  record.payloadBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 * pictures;
  return record;
}

Result<PartRecord> readRecord(const std::filesystem::path& file) {
  std::string line;
  auto in = openPayload(file, UINT64_MAX, &line);
  if (!in) return in.status();
  PartRecord record;
  try {
    record = recordOf(Json::parse(line));
  } catch (const std::exception& e) {
    return Status::failure(file.string() + ": the part's record cannot be read: " + e.what());
  }
  if (auto check = openPayload(file, record.payloadBytes, nullptr); !check) return check.status();
  return record;
}

Status readSeriesPart(const std::filesystem::path& file, const PartRecord& record, kurvo::media::FrameSeries& series) {
  const Json& meshes = record.content.at("meshes");
  if (meshes.size() != series.meshes.size())
    return Status::failure(file.string() + ": the part holds " + std::to_string(meshes.size()) +
                           " polygon objects, the scene " + std::to_string(series.meshes.size()));
  for (size_t m = 0; m < meshes.size(); ++m) {
    const auto& mesh = series.meshes[m];
    const std::string name = meshes[m].at("name").get<std::string>();
    const size_t points = meshes[m].at("points").get<size_t>();
    if (name != mesh.name || points != mesh.points.front().size())
      return Status::failure(file.string() + ": the part's object \"" + name + "\" (" + std::to_string(points) +
                             " points) is not the scene's \"" + mesh.name + "\" (" +
                             std::to_string(mesh.points.front().size()) + " points)");
  }
  auto in = openPayload(file, record.payloadBytes, nullptr);
  if (!in) return in.status();
  for (const double frame : record.frames.frames()) {
    for (auto& mesh : series.meshes) {
      Matrix placement;
      std::vector<Vector> points(mesh.points.front().size());
      if (!get(in.value().get(), &placement, sizeof placement) ||
          !get(in.value().get(), points.data(), points.size() * sizeof(Vector)))
        return cutOff(file);
      mesh.placements.push_back(placement);
      mesh.points.push_back(std::move(points));
    }
    series.frames.push_back(frame);
  }
  return Status::success();
}

Status readTextPart(const std::filesystem::path& file, const PartRecord& record, std::string& framesText,
                    std::string& sceneText) {
  auto in = openPayload(file, record.payloadBytes, nullptr);
  if (!in) return in.status();
  framesText.resize(record.content.at("frames_bytes").get<size_t>());
  sceneText.resize(record.content.at("scene_bytes").get<size_t>());
  if (!get(in.value().get(), framesText.data(), framesText.size()) ||
      !get(in.value().get(), sceneText.data(), sceneText.size()))
    return cutOff(file);
  return Status::success();
}

Status readImagesPart(const std::filesystem::path& file, const PartRecord& record,
                      const std::function<Status(std::vector<uint8_t>&)>& picture) {
  auto in = openPayload(file, record.payloadBytes, nullptr);
  if (!in) return in.status();
  const size_t bytes = record.content.at("width").get<size_t>() * record.content.at("height").get<size_t>() * 3;
  const size_t count = record.content.at("pictures").get<size_t>();
  std::vector<uint8_t> rgb(bytes);
  for (size_t i = 0; i < count; ++i) {
    if (!get(in.value().get(), rgb.data(), bytes)) return cutOff(file);
    if (auto s = picture(rgb); !s) return s;
  }
  return Status::success();
}

}  // namespace kurvo::farm
