// The built-in example scene of `kurvo demo`: a ribbon of about a quarter of
// a million points wound along a helix with twist, scale and profile curves,
// and a flat bar led along a wave by a rail that rolls it (up mode 2).
#pragma once

#include "json_text.h"

namespace kurvo::scenefile {

// The scene in the scene-file format, ready to save, edit and load again.
Json demoScene();

}  // namespace kurvo::scenefile
