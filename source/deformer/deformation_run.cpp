#include "deformer/deformation_run.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

#include "deformer/bend_axis.h"
#include "deformer/kurvo_params.h"
#include "deformer/point_mapping.h"
#include "shader/vorla_deformer_tag.h"

namespace {

// Builds the length table of a spline and fills its record (except the end
// values, which come after the weights).
void OpenPath(PathRecord& rec, SplineObject* spline) {
  rec.spline = spline;
  spline->InitLength(0, nullptr);
  rec.length = spline->GetLength();
}

void ClosePaths(PathRecord& path, PathRecord& rail) {
  path.spline->FreeLength();
  if (rail.spline) rail.spline->FreeLength();
}

// Points below this many per task are not worth handing to another thread.
constexpr int32 kMinTaskPoints = 8192;
// Tasks per thread of the pool: enough that threads which finish early find
// more work, few enough that handing out tasks costs nothing next to them.
constexpr int32 kTasksPerThread = 8;

// One task maps a run of whole blocks; every point gets the same operations
// whichever thread maps it, so the result does not depend on the split.
struct MappingTasks {
  const PointMapper* mapper;
  Vector* points;
  int32 count;
  int32 perTask;  // a multiple of the block size
  BaseThread* thread;
  std::atomic<bool> stopped{false};

  // The stop test comes before each block of 64 points of every task; once
  // one task sees it, the others end at their next block too.
  void operator()(int32 task) {
    const int32 begin = task * perTask;
    const int32 end = std::min(count, begin + perTask);
    for (int32 first = begin; first < end; first += PointMapper::kBlock) {
      if (stopped.load(std::memory_order_relaxed)) return;
      if (thread && thread->TestBreak()) {
        stopped.store(true, std::memory_order_relaxed);
        return;
      }
      mapper->MapBlock(points, first, std::min(PointMapper::kBlock, end - first));
    }
  }
};

// Maps every point, split into tasks for the host's pool when the object is
// large. A stopped run leaves each task's points from its stopping block on
// where they were: the moved points are a prefix of every task's run.
void MapPoints(const PointMapper& mapper, Vector* points, int32 count, BaseThread* thread) {
  const int64 blocks = (int64(count) + PointMapper::kBlock - 1) / PointMapper::kBlock;
  const int64 most = int64(TaskConcurrency()) * kTasksPerThread;
  const int64 tasks = std::max<int64>(1, std::min<int64>(most, int64(count) / kMinTaskPoints));
  const int64 blocksPerTask = (blocks + tasks - 1) / tasks;
  MappingTasks work{&mapper, points, count, static_cast<int32>(blocksPerTask * PointMapper::kBlock), thread};
  RunTasks(static_cast<int32>((blocks + blocksPerTask - 1) / blocksPerTask), work);
}

}  // namespace

void RunDeformation(Random& random, PathTransportCache& transports, BaseObject* mod, BaseDocument* doc, BaseObject* op,
                    const Matrix& opMg, const Matrix& modMg, BaseThread* thread) {
  BaseContainer* bc = mod->GetDataInstance();
  BaseObject* pathObject = bc->GetObjectLink(KURVO_SPLINE, doc);
  if (!pathObject) return;

  const Real randomFactor = bc->GetReal(KURVO_RANDOM, 0.0f);
  const Real rotation = bc->GetReal(KURVO_ROTATION, 0.0f);
  const Real offset = bc->GetReal(KURVO_OFFSET, 0.0f);
  const Bool stretch = bc->GetBool(KURVO_STRETCH, false);
  const Real stretchFactor = bc->GetReal(KURVO_STRETCH_FACTOR, 0.0f);
  const Real tolerance = bc->GetReal(KURVO_OPTIMIZE_TOLERANCE, 0.0f);
  const Vector upVector = bc->GetVector(KURVO_UP_VECTOR, Vector());
  const Bool optimizePoints = bc->GetBool(KURVO_OPTIMIZE_POINTS, false);
  const Bool optimizePolygons = bc->GetBool(KURVO_OPTIMIZE_POLYGONS, false);
  const Bool optimizeLoose = bc->GetBool(KURVO_OPTIMIZE_LOOSE_POINTS, false);
  const int32 upMode = bc->GetLong(KURVO_UP_MODE, 0);
  const Real scaleStrength = bc->GetReal(KURVO_SCALE_STRENGTH, 0.0f);
  const Real twistStrength = bc->GetReal(KURVO_TWIST_STRENGTH, 0.0f);
  const auto* twistCurve = static_cast<const SplineData*>(bc->GetCustomDataType(KURVO_TWIST_CURVE, KH_CUSTOMDATA_SPLINE));
  const auto* scaleCurve = static_cast<const SplineData*>(bc->GetCustomDataType(KURVO_SCALE_CURVE, KH_CUSTOMDATA_SPLINE));
  const auto* profileCurve =
      static_cast<const SplineData*>(bc->GetCustomDataType(KURVO_PROFILE_CURVE, KH_CUSTOMDATA_SPLINE));
  const Real profileStrength = bc->GetReal(KURVO_PROFILE_STRENGTH, 0.0f);
  const int32 bendAxis = bc->GetLong(KURVO_BEND_AXIS, KURVO_BEND_AXIS_PLUS_Z);

  const Matrix pathMg = pathObject->GetMg();
  SplineObject* pathSpline = pathObject->GetRealSpline();
  if (!pathSpline) return;

  Matrix railMg;
  SplineObject* railSpline = nullptr;
  if (BaseObject* railObject = bc->GetObjectLink(KURVO_RAIL, doc)) {
    railMg = railObject->GetMg();
    railSpline = railObject->GetRealSpline();
  }

  PathRecord path, rail;
  OpenPath(path, pathSpline);
  if (railSpline) OpenPath(rail, railSpline);

  bc->SetReal(KURVO_SPLINE_LENGTH, path.length);

  auto* pointObject = static_cast<PointObject*>(op);
  Vector* points = pointObject->GetPointW();
  const int32 count = pointObject->GetPointCount();
  if (count <= 0 || !points) {
    ClosePaths(path, rail);
    return;
  }
  // A path without length has no positions to map onto: the points stay as
  // they are rather than becoming not-a-number. The run is otherwise a run
  // like any other (one random draw, the update message), so the random
  // sequence of later runs and anything that counts updates do not depend on
  // whether the path once had length; with nothing moved there is nothing to
  // optimize.
  const bool mappable = path.length != 0.0f;

  Real* weights = pointObject->CalcVertexMap(mod);

  PointMapper mapper;
  const Matrix toObject = Invert(opMg);
  mapper.toDeformer = Invert(modMg) * opMg;
  mapper.toObject = toObject * pathMg;

  ReadEndValues(path);
  if (rail.spline) ReadEndValues(rail);

  mapper.closed = pathSpline->IsClosed() != 0;
  mapper.length = path.length;
  mapper.step = path.length / 1000.0f;
  mapper.offset = mapper.closed ? offset + 1000.0f : offset;
  mapper.stretch = stretch != 0;
  mapper.stretchFactor = stretchFactor;

  Vector halfSize = op->GetRad();
  Vector centre = op->GetMp();
  mapper.objectPosition = opMg.off;
  // Another bend axis turns the deformer's space first; the profile then
  // runs along the object's extent on that axis.
  if (Matrix turn; BendAxisTurn(bendAxis, turn)) {
    mapper.toDeformer = turn * mapper.toDeformer;
    centre = TurnDirection(turn, centre);
    const Vector h = TurnDirection(turn, halfSize);
    halfSize = Vector(std::fabs(h.x), std::fabs(h.y), std::fabs(h.z));
    mapper.objectPosition = TurnDirection(turn, mapper.objectPosition);
  }
  mapper.zLow = centre.z - halfSize.z;
  // An object without extent along Z evaluates the profile at 0 everywhere
  // instead of at an infinite or undefined position.
  mapper.zScale = halfSize.z != 0.0f ? 1.0f / (2.0f * halfSize.z) : 0.0f;

  if (randomFactor != 0.0f) {
    if (BaseTag* tag = op->GetTag(ID_VORLADEFORMERTAG, 0)) {
      const int32 index = tag->GetDataInstance()->GetLong(VORLADEFORMERTAG_INDEX, 0);
      random.Init(static_cast<uint32>(index) * 7123u);
    }
  }
  mapper.random = random.Get01() * randomFactor;

  mapper.frame.upMode = upMode;
  mapper.frame.upNormal = Normalize(upVector);
  mapper.frame.path = &path;
  mapper.frame.rail = rail.spline ? &rail : nullptr;
  mapper.frame.railMatrix = railMg;
  const PathTransport noTransport;
  std::optional<PathTransportCache::Use> transport;
  if (upMode == KURVO_UP_MODE_FOLLOW) {
    // Without memory for the table the frame is zero, as in a mode without one.
    if (mappable) transport.emplace(transports, pathObject, pathSpline, path, mapper.closed, upVector);
    mapper.frame.transport = transport ? transport->Get() : &noTransport;
  }

  mapper.profile = CurveLookup{profileCurve, 1.0f};
  mapper.profileStrength = profileStrength;
  mapper.scale = CurveLookup{scaleCurve, 1.0f};
  mapper.scaleStrength = scaleStrength;
  mapper.twist = CurveLookup{twistCurve, 0.0f};
  mapper.twistStrength = twistStrength;
  mapper.rotation = rotation;
  mapper.weights = weights;
  mapper.Prepare();

  if (mappable) MapPoints(mapper, points, count, thread);

  op->Message(KH_MSG_UPDATE, nullptr);
  _GeFree(weights);
  ClosePaths(path, rail);

  if (mappable && (optimizePoints || optimizePolygons)) {
    BaseContainer settings;
    settings.SetReal(OPTIMIZE_SETTING_TOLERANCE, tolerance);
    settings.SetBool(OPTIMIZE_SETTING_POINTS, optimizePoints);
    settings.SetBool(OPTIMIZE_SETTING_POLYGONS, optimizePolygons);
    settings.SetBool(OPTIMIZE_SETTING_LOOSE_POINTS, optimizeLoose);
    ModelingCommandData command;
    command.doc = doc;
    command.op = op;
    command.bc = &settings;
    if (SendModelingCommand(KURVO_OPTIMIZE_COMMAND, command)) op->Message(KH_MSG_UPDATE, nullptr);
  }
}
