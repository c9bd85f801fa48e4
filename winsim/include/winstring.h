// The host build's <winstring.h>: the Windows Runtime activation calls and types (winsim/api).
#pragma once

#include "winsim/api/windows_runtime.h"
