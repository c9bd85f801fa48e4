// The host build's <sddl.h>: the text form of security descriptors.
#pragma once

#include <windows.h>
