// Parameter IDs of the spline deformer "OKurvo" and its registration numbers.
// The IDs are stored in scene files: never renumber them. The description
// resource res/description/OKurvo.json carries the same IDs, symbols, types
// and defaults; a test keeps the two in step.
#pragma once

#include <cstdint>

enum : int32_t {
  ID_VORLADEFORMER = 1024244, // plug-in ID of the deformer object
  IDS_VORLADEFORMER = 10000   // string resource: the deformer's display name
};

enum KurvoParameter : int32_t {
  KURVO_OFFSET = 1000,                 // real: start position on the path (fraction)
  KURVO_ROTATION = 1001,               // real, radians: roll of the cross-section
  KURVO_SPLINE = 1002,                 // link: the path object
  KURVO_TWIST_CURVE = 1003,            // spline curve: twist over the path position
  KURVO_SCALE_CURVE = 1004,            // spline curve: cross-section scale over the path position
  KURVO_STRETCH = 1005,                // bool: map Z by a fixed factor instead of the path length
  KURVO_STRETCH_FACTOR = 1006,         // real: factor while stretching (not written by Init)
  KURVO_TWIST_STRENGTH = 1007,         // real: multiplier of the twist curve (degrees)
  KURVO_SCALE_STRENGTH = 1008,         // real: multiplier of the scale curve
  KURVO_SPARE_1009 = 1009,             // real: read, no effect
  KURVO_OPTIMIZE_TOLERANCE = 1010,     // real: optimize setting 2076
  KURVO_OPTIMIZE_POINTS = 1011,        // bool: optimize setting 2077, runs the command
  KURVO_OPTIMIZE_POLYGONS = 1012,      // bool: optimize setting 2078, runs the command
  KURVO_OPTIMIZE_LOOSE_POINTS = 1013,  // bool: optimize setting 2079
  KURVO_SPLINE_LENGTH = 1014,          // real: read-out of the path length
  KURVO_RAIL = 1015,                   // link: the rail object (up mode 2)
  KURVO_UP_VECTOR = 1023,              // vector: up direction in up mode 0
  KURVO_UP_MODE = 1024,                // long: 0 up vector, 1 path shape, 2 rail
  KURVO_SPARE_1100 = 1100,             // long: no effect
  KURVO_SPARE_1101 = 1101,             // bool: no effect
  KURVO_SPARE_1102 = 1102,             // vector: no effect
  KURVO_SPARE_1103 = 1103,             // long: no effect
  KURVO_SPARE_1104 = 1104,             // vector: no effect
  KURVO_SPARE_1110 = 1110,             // long: no effect
  KURVO_SPARE_1114 = 1114,             // long: no effect
  KURVO_PROFILE_STRENGTH = 1121,       // real: multiplier of the profile curve
  KURVO_PROFILE_CURVE = 1122,          // spline curve: cross-section scale over the object's Z
  KURVO_SPARE_1201 = 1201,             // bool: no effect
  KURVO_SPARE_1202 = 1202,             // bool: no effect
  KURVO_RANDOM = 1203,                 // real: random factor on the twist (not written by Init)
  KURVO_SPARE_1206 = 1206,             // vector: no effect
  KURVO_BEND_AXIS = 1210,              // long: which of the deformer's axes is laid along the path

  // Panel-only element: the title-bar banner at the top of the panel. Holds
  // no value the deformation reads; outside every range the enabling rule names.
  KURVO_TITLEBAR = 1300
};

// Up modes. 3 carries the up vector along the path by parallel transport
// (a rotation-minimising frame), so the cross-section neither flips nor spins.
enum : int32_t { KURVO_UP_MODE_VECTOR = 0, KURVO_UP_MODE_PATH = 1, KURVO_UP_MODE_RAIL = 2, KURVO_UP_MODE_FOLLOW = 3 };

// Values of KURVO_BEND_AXIS: the deformer's axis laid along the path. 0 is +Z,
// so that a container without the parameter (every older scene) bends as
// before. The other two axes make the cross-section, in this right-handed
// order (across-path X, across-path Y, along): +Z (X, Y, Z), +X (Y, Z, X),
// +Y (Z, X, Y); a negative axis turns the positive one half round about its
// across-path Y: -Z (-X, Y, -Z), -X (-Y, Z, -X), -Y (-Z, X, -Y).
enum : int32_t {
  KURVO_BEND_AXIS_PLUS_Z = 0,
  KURVO_BEND_AXIS_PLUS_X = 1,
  KURVO_BEND_AXIS_PLUS_Y = 2,
  KURVO_BEND_AXIS_MINUS_X = 3,
  KURVO_BEND_AXIS_MINUS_Y = 4,
  KURVO_BEND_AXIS_MINUS_Z = 5
};

// Settings of the host's optimize command, and its number.
enum : int32_t {
  KURVO_OPTIMIZE_COMMAND = 227,
  OPTIMIZE_SETTING_TOLERANCE = 2076,
  OPTIMIZE_SETTING_POINTS = 2077,
  OPTIMIZE_SETTING_POLYGONS = 2078,
  OPTIMIZE_SETTING_LOOSE_POINTS = 2079
};
