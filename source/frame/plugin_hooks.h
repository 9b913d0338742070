// The module's start, end and message hooks, called by plugin_main.
#pragma once

#include "hostapi/kurvo_api.h"

// Plug-in messages handled by PluginMessage.
enum : int32 {
  kMessageLoadResources = KH_MSG_INIT_RESOURCES,  // 1
  kMessageRegister = KH_MSG_REGISTER              // 1000
};

// Does nothing; true.
Bool PluginStart();
// Does nothing.
void PluginEnd();
// 1: loads the resources ("Missing RES Directory" on failure); 1000: runs the
// registration chain and prints the banner; any other id: true.
Bool PluginMessage(int32 id, void* data);

// The console line printed after a complete registration chain.
String StartupBanner();
