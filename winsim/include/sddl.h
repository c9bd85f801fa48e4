// The host build's <sddl.h>: security descriptors from their text form.
#pragma once

#include "winsim/api/security.h"
