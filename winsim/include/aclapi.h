// The host build's <aclapi.h>: reading the security of an object.
#pragma once

#include "winsim/api/security.h"
