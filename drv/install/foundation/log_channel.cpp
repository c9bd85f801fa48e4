#include "log_channel.h"

HANDLE OpenLogChannel() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
  DWORD type = GetFileType(output);
  if (type == FILE_TYPE_DISK) return output;
  DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
  if (type == FILE_TYPE_PIPE && SetNamedPipeHandleState(output, &mode, nullptr, nullptr)) {
    return output;
  }
  return nullptr;
}
