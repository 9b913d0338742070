// Modelling commands run by the general family; the scene implements them.
#pragma once

#include "kh_types.h"

namespace kurvo::host {

// True on success. Command 227 (optimize) changes data->op in place.
bool runModelingCommand(int32_t command, KhModelingCommandData* data);

}  // namespace kurvo::host
