// The one printf-style formatter of the program, for wide text on both builds.
//
// Directives: %s a wide string (a null pointer prints nothing), %d a signed 32-bit integer,
// %u an unsigned 32-bit integer, %x / %X the same in hexadecimal, %% a percent sign. Anything
// else after a percent sign is copied as it stands. The result never runs past the buffer:
// when it does not fit it is cut at a character boundary (a surrogate pair is never split) and
// still terminated.
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stddef.h>

// Formats into buffer (capacity in units, terminator included); returns the length written.
// A capacity of 0 writes nothing.
size_t FormatBounded(WCHAR* buffer, size_t capacity, const WCHAR* format, va_list args);
size_t FormatBoundedV(WCHAR* buffer, size_t capacity, const WCHAR* format, ...);
