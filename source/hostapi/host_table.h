// The host's function table as the module keeps it.
#pragma once

#include "api_types.h"

// Set once by InitOS at system initialisation; null before. Every forwarding
// method reads it at each call.
extern const KhHostTable* t_HostOS;

// Stores the host's table and answers its interface version (0 for null).
int32 InitOS(const void* table);
