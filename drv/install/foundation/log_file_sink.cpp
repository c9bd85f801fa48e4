#include "log_file_sink.h"

namespace {
constexpr uint64_t kPieceUnits = 1024;
}  // namespace

void LogFileSink::Open(HANDLE file) {
  file_.reset(file);
  failed_ = false;
}

void LogFileSink::OpenChannel(HANDLE channel) {
  channel_ = channel;
  channelFailed_ = false;
}

void LogFileSink::Append(const WCHAR* text, uint64_t units) {
  char bytes[kPieceUnits * 3];  // UTF-8 needs at most three bytes per UTF-16 unit
  while (units != 0 && ((file_.valid() && !failed_) || (channel_ != nullptr && !channelFailed_))) {
    uint64_t piece = units < kPieceUnits ? units : kPieceUnits;
    // A high surrogate stays with its low half, in the next piece.
    if (piece < units && text[piece - 1] >= 0xD800 && text[piece - 1] <= 0xDBFF) --piece;
    int count = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(piece), bytes,
                                    static_cast<int>(sizeof(bytes)), nullptr, nullptr);
    failed_ = failed_ || count <= 0;
    channelFailed_ = channelFailed_ || count <= 0;
    if (channel_ != nullptr && !channelFailed_) {
      DWORD written = 0;
      channelFailed_ = !WriteFile(channel_, bytes, static_cast<DWORD>(count), &written, nullptr) ||
                       written != static_cast<DWORD>(count);
    }
    const char* at = bytes;
    while (count > 0 && file_.valid() && !failed_) {
      DWORD written = 0;
      if (!WriteFile(file_.get(), at, static_cast<DWORD>(count), &written, nullptr) ||
          written == 0) {
        failed_ = true;
        break;
      }
      at += written;
      count -= static_cast<int>(written);
    }
    text += piece;
    units -= piece;
  }
}

void LogFileSink::Close() {
  file_.reset();
  channel_ = nullptr;
}
