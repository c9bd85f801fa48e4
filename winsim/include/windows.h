// The host build's <windows.h>: the parts of the platform API that the installer uses, with
// the platform's names and signatures, implemented by the winsim library.
#pragma once

#include "winsim/api/base.h"
#include "winsim/api/kernel_core.h"
#include "winsim/api/kernel_files.h"
#include "winsim/api/kernel_modules.h"
#include "winsim/api/kernel_process.h"
#include "winsim/api/kernel_process_creation.h"
#include "winsim/api/kernel_sync.h"
#include "winsim/api/kernel_version.h"
#include "winsim/api/kernel_namespaces.h"
#include "winsim/api/registry.h"
#include "winsim/api/security.h"
#include "winsim/api/sessions.h"
#include "winsim/api/services.h"
#include "winsim/api/user32.h"
#include "winsim/api/version.h"
