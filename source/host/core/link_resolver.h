// How container links meet the scene: a link stores a node's serial number
// and resolves only through the document that holds the live node.
#pragma once

#include <cstdint>

#include "kh_types.h"

namespace kurvo::host {

// Serial number of a live node handle; 0 for null or a dead handle.
uint64_t linkSerialOf(KhNode* node) noexcept;
// The live node with `serial` inside `doc` that matches `type` (5155: any
// scene object; otherwise the node's type ID), or null.
KhNode* resolveLink(KhDocument* doc, uint64_t serial, int32_t type) noexcept;

}  // namespace kurvo::host
