// The log channel: the standard output a caller hands the program (a setup engine, a deployment
// tool or a script that captures what it prints), which receives the run's log entry byte for
// byte as the log file does.
//
// The installer is a windowed program, so it has a standard output only when its caller passed
// one (STARTF_USESTDHANDLES). A disk file is used as it is: a write to an open file does not
// wait on anyone. A pipe is switched to writes that never wait (PIPE_NOWAIT): a pipe that no one
// reads fills up and would otherwise hold the run, and with it the run lock, for as long as the
// caller pleases; a bounded wait would add to every published bound for nothing. So a write
// that does not fit is dropped and the sink stops writing there (a gap would make the channel
// lie). A pipe that cannot be switched (Wine's pipes to a Unix process), a console, a device or
// a handle that is no handle is not written at all. The handle belongs to the process: it is
// never closed here.
#pragma once

#include <windows.h>

// The caller's standard output, ready for writes that never wait; null when there is none or
// it is not a disk file or a pipe that can be switched.
HANDLE OpenLogChannel();
