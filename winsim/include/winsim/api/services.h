// services: grows with the parts of the installer that need it.
#pragma once

#include "winsim/api/base.h"

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject);
