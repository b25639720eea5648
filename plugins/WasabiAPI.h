// WasabiAPI: the minimal Wasabi service manager and service object plug-ins get
// with query 3025. Both are made once and live for the whole run; any thread
// may call them.
#pragma once

#include "plugins/sdk/winamp_wasabi.h"

namespace plugins {

// The manager answered to query 3025.
Dispatchable* WasabiServiceManager();
// The one service the manager hands out.
Dispatchable* WasabiService();

}  // namespace plugins
