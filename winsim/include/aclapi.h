// The host build's <aclapi.h>: GetSecurityInfo, with the rest of the security calls.
#pragma once

#include <windows.h>
