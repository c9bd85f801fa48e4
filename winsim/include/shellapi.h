// shell32: command-line splitting.
#pragma once

#include <windows.h>
