// The array: a generator that lays copies of one polygon object, its source,
// one after another along an axis. The copies are real objects of the scene,
// children of the array, each with its own deformer tag (index and count),
// so the gradient shader colours them one by one and the deformer's random
// twist turns each by its own repeatable amount. Deformers under the array
// bend every copy as a deformer bends its parent: each copy gets its own
// copy of every such deformer, so copies evaluate side by side like any
// other objects and a copy's points are those of a hand-placed object with
// the same tag.
//
// The source is the array's own geometry (a polygon child of role
// arrayGeometry, made by the scene reader from the array's mesh, primitive
// or points) or else its first polygon child. It is a template: it is not
// deformed, drawn or exported itself. Its own deformer children bend each
// copy first, before the array's.
//
// Placement: copy i is the source moved along the axis (in the array's
// space) by offset + i x step. The step is the piece's length along the
// axis plus the spacing (gap mode), or the spacing itself (step mode).
// Fitting takes the count from the linked path's length L (segment 0, the
// length the deformer maps onto) instead of the count parameter:
//   open path:   as many copies as lie within L from the first copy's back
//                end: (N - 1) x step + piece <= L;
//   closed path: as many as go round it: N x step <= L, the last gap running
//                on to the first copy across the seam.
// Stretched, the step becomes (L - piece) / (N - 1) on an open path (one copy
// stays at the start) and L / N on a closed one, so the copies close the gap
// exactly; kept, it stays as the spacing gives it.
//
// Tags: a copy carries the source's tags. Without a deformer tag on the
// source, copy i gets one with index i and count N. With one (index s, count
// c), copy i gets index i x c + s and count c x N: the copies of sources
// numbered 0 .. c-1 are numbered as the copies of one array of c x N, dealt
// out in turn (copy i of source s is number i x c + s), so arrays that
// interleave (the two orientations of a chain's links) share one gradient
// and never share a seed. A count c of 0 or less steps the index by 1 (index
// s + i), so the copies still get seeds of their own. The arithmetic is
// 32-bit and wraps, as the module's own does.
#pragma once

#include <cstdint>
#include <vector>

#include "core/data_value.h"
#include "vector.h"

namespace kurvo::host {

class Document;
class Object;
struct Description;

// Parameter IDs of the array.
enum : int32_t {
  kArrayCount = 1000,        // integer: copies, when not fitting
  kArrayFit = 1001,          // integer: kArrayFitOff, kArrayFitStretch, kArrayFitKeep
  kArrayPath = 1002,         // link: the path a fit measures
  kArraySpacing = 1003,      // real: the gap between copies, or the step
  kArraySpacingMode = 1004,  // integer: kArraySpacingGap or kArraySpacingStep
  kArrayOffset = 1005,       // real: shift of every copy along the axis
  kArrayAxis = 1006,         // integer: 0 +Z, 1 +X, 2 +Y, 3 -X, 4 -Y, 5 -Z (the deformer's bend axis values)
};
enum : int32_t { kArrayFitOff = 0, kArrayFitStretch = 1, kArrayFitKeep = 2 };
enum : int32_t { kArraySpacingGap = 0, kArraySpacingStep = 1 };
inline constexpr int32_t kArrayDefaultCount = 3;
// Most copies one array makes; a fit that would make more is cut there.
inline constexpr int32_t kMaxArrayCopies = 100000;

// The per-object number tag that copies carry: the deformer tag the module
// registers, read by its gradient shader and its deformer.
enum : int32_t { kNumberTagType = 1024306, kNumberTagIndex = 1000, kNumberTagCount = 1001 };

// The array's parameters as a panel and the scene files name them.
const Description& arrayDescription();

struct ArraySettings {
  int32_t count = kArrayDefaultCount;
  int32_t fit = kArrayFitOff;
  float spacing = 0.0f;
  int32_t spacingMode = kArraySpacingGap;
  float offset = 0.0f;
  int32_t axis = 0;
};
ArraySettings arraySettings(const Container& parameters);

// The axis as a unit vector of the array's space; unknown values are +Z.
Vector arrayAxis(int32_t axis);

struct ArrayPath {
  float length = 0.0f;
  bool closed = false;
};

struct ArrayLayout {
  int32_t count = 0;
  float step = 0.0f;  // from one copy to the next, along the axis
};

// Count and step from the settings, the piece's length along the axis and,
// when fitting, the path (null: fitting finds no path and makes nothing).
// A fit with a step of 0 or less makes nothing.
ArrayLayout layoutCopies(const ArraySettings& settings, float pieceLength, const ArrayPath* path);

// The number tag of copy i of n (see above).
struct CopyNumber {
  int32_t index = 0;
  int32_t count = 0;
};
CopyNumber copyNumber(bool sourceTagged, int32_t sourceIndex, int32_t sourceCount, int32_t i, int32_t n);

// The array's source (see above), or null.
Object* arraySourceOf(const Object& array) noexcept;
// The extent [low, high] of the source's points along the axis, in the
// array's space.
void pieceExtent(const Object& source, int32_t axis, float& low, float& high);
// Length and closure of segment 0 of `path`'s spline form; false when it has
// none.
bool measurePath(Object& path, ArrayPath& out);
// What the array would make now, from its current parameters, source and
// path (the scene reader's check, and the generator's plan).
ArrayLayout planCopies(Object& array, const Document& document);

// What an array remembers of the copies it made (Object::arrayCopies).
struct ArrayCopies {
  std::vector<uint64_t> copies;  // serials, in index order
  // What the copies were made from: a change in any of these remakes them.
  uint64_t sourceSerial = 0;
  uint32_t sourceData = 0;
  std::vector<uint64_t> deformers;  // serials of the deformers each copy has a copy of, in order
  // The deformers' change stamps and parameters as last copied into the
  // copies' deformers: an edit is copied entry by entry, not whole.
  std::vector<uint32_t> deformerStamps;
  std::vector<Container> deformerParameters;
  // The piece's extent, for the source state it was measured at.
  uint32_t extentStamp = 0;
  int32_t extentAxis = -1;
  float extentLow = 0.0f, extentHigh = 0.0f;
};

// Brings every array's copies up to date: makes, moves, renumbers and drops
// copies, and copies changed deformer parameters into the copies' deformers.
// Marks changed only what changed, so the evaluation loop re-runs only those.
void updateArrays(Document& document);
// After the copies were deformed: the values the copies' deformers wrote
// back into their parameters (such as the path length read-out) go to the
// deformers they copy, without counting as a change.
void returnArrayReadOuts(Document& document);

}  // namespace kurvo::host
