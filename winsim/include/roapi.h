// The host build's <roapi.h>: the Windows Runtime activation calls and types (winsim/api).
#pragma once

#include "winsim/api/windows_runtime.h"
