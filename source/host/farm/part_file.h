// Part files: what one shard of a single-file output evaluated, with a
// record of what made it, for `kurvo merge` to join into the file a single
// run writes.
//
// A part is named after the output and its shard (tube.pc2.part-2-of-4) and
// written atomically, so a task that fails leaves no part at all. Layout:
// the line "KURVO-PART 1", the record as one line of JSON, then the payload:
//  - "series" (glTF, point caches): per frame, per mesh in scene order, the
//    mesh's placement (12 float32: translation, then the X, Y and Z axes)
//    and its points (3 float32 each), in the machine's byte order (the
//    record names it);
//  - "json" (a scene with its frames): the frames' text, then, in the part
//    that holds the range's last frame, the scene's own text;
//  - "images" (GIF, MP4): per frame, the 8-bit RGB picture.
// The record's "content" says how the payload divides (mesh names and point
// counts, text lengths, picture size), and "payload_bytes" how long it is,
// so a damaged part is refused instead of merged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frame_range.h"
#include "frame_series.h"
#include "result.h"
#include "shard_split.h"

namespace kurvo::farm {

using kurvo::media::Result;
using kurvo::media::Status;

// What made a part: the same for every part of one job. Two parts of
// different origins are never merged.
struct PartOrigin {
  std::string tool;              // kurvo's version and build
  std::string modules;           // each loaded module's name and fingerprint
  std::string sceneFile;         // absolute
  std::string sceneFingerprint;  // of the scene file and every mesh it reads
  std::string command;           // "eval" or "render"
  std::string output;            // the output's extension, lower case
  std::map<std::string, std::string> options;  // the options that shape the output
  animation::FrameRange range;   // the whole job's frames
};

// Empty when equal; else which field differs and how, for a message
// ("the scene differs: ..."). `mine` describes `a`, `theirs` `b`.
std::string originDifference(const PartOrigin& a, const PartOrigin& b);

struct PartRecord {
  PartOrigin origin;
  Shard shard;
  animation::FrameRange frames;  // this part's, a run of origin.range
  std::string kind;              // "series", "json" or "images"
  nlohmann::json content;        // how the payload divides (see above)
  uint64_t payloadBytes = 0;
};

// tube.pc2 and shard 2/4: tube.pc2.part-2-of-4.
std::filesystem::path partName(const std::filesystem::path& out, const Shard& shard);
// The parts named after `out` that exist beside it, in no particular order.
std::vector<std::filesystem::path> partsBeside(const std::filesystem::path& out);

// Writes a part as it is made, so a shard holds one frame at a time: open()
// with the record complete (content, payload_bytes), write() the payload,
// finish() to put the part in place (into the command's OutputBatch when one
// is alive). A writer dropped before finish() leaves nothing behind, and one
// whose payload differs from what its record promised is refused.
class PartWriter {
 public:
  PartWriter();
  ~PartWriter();
  PartWriter(const PartWriter&) = delete;
  PartWriter& operator=(const PartWriter&) = delete;
  Status open(const std::filesystem::path& file, const PartRecord& record);
  void write(const void* data, size_t bytes);
  Status finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whole parts at once: the record's kind, content and payload_bytes are
// made from the data.
Status writeSeriesPart(const std::filesystem::path& file, PartRecord record, const kurvo::media::FrameSeries& series);
Status writeTextPart(const std::filesystem::path& file, PartRecord record, const std::string& framesText,
                     const std::string* sceneText);
// The record of a part of `pictures` RGB pictures of width x height at fps.
PartRecord imagesRecord(PartRecord record, int width, int height, double fps, size_t pictures);

// The record alone (cheap: the payload is not read).
Result<PartRecord> readRecord(const std::filesystem::path& file);

// Readers of the payload, given its record (from readRecord).
// Appends the part's frames to `series`, whose meshes (names, polygons) are
// already set: the part's meshes must be the same, with the same point counts.
Status readSeriesPart(const std::filesystem::path& file, const PartRecord& record, kurvo::media::FrameSeries& series);
// The frames' text and, when the part has it, the scene's text.
Status readTextPart(const std::filesystem::path& file, const PartRecord& record, std::string& framesText,
                    std::string& sceneText);
// Calls `picture` with each frame's RGB bytes in turn, so the merge holds
// one picture at a time.
Status readImagesPart(const std::filesystem::path& file, const PartRecord& record,
                      const std::function<Status(std::vector<uint8_t>&)>& picture);

}  // namespace kurvo::farm
