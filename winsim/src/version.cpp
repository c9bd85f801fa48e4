// Version resources of simulated files (version.dll): a file given a product version with
// FileSystem::SetProductVersion carries a VS_VERSIONINFO tree laid out as the platform's
// resource compiler lays it out: the root "VS_VERSION_INFO" with its VS_FIXEDFILEINFO, a
// "StringFileInfo" table "040904B0" with the "ProductVersion" text, and a "VarFileInfo" with
// the "Translation". Every block starts on a 32-bit boundary of the resource.
#include <windows.h>

#include <string.h>

#include <string>

#include "winsim/files.h"
#include "winsim/processes.h"

using winsim::FileSystem;
using winsim::Machine;
using winsim::WideText;

namespace {

constexpr WORD kBinaryValue = 0;
constexpr WORD kTextValue = 1;
constexpr DWORD kUsEnglishUnicode = 0x04B00409;  // language 0x0409, code page 1200
// The platform sizes the caller's buffer at twice the resource plus a four-byte signature,
// room it keeps for converting texts; GetFileVersionInfoW writes the signature after the copy.
const char kConversionSignature[4] = {'F', 'E', '2', 'X'};

void Align(std::string& bytes) {
  while (bytes.size() % 4 != 0) bytes.push_back('\0');
}

void AppendWord(std::string& bytes, WORD value) {
  bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

void AppendText(std::string& bytes, const WideText& text) {
  bytes.append(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(char16_t));
}

// One block: wLength, wValueLength, wType, the key, the value and the children, each part
// aligned; wLength covers the whole block without the padding after it.
std::string Block(const WideText& key, WORD type, const std::string& value, WORD valueLength,
                  const std::string& children) {
  std::string block;
  AppendWord(block, 0);
  AppendWord(block, valueLength);
  AppendWord(block, type);
  AppendText(block, key);
  Align(block);
  block += value;
  if (!children.empty()) {
    Align(block);
    block += children;
  }
  WORD length = static_cast<WORD>(block.size());
  memcpy(&block[0], &length, sizeof(length));
  Align(block);
  return block;
}

std::string TextValueBlock(const WideText& key, const WideText& text) {
  std::string value;
  AppendText(value, text);
  return Block(key, kTextValue, value, static_cast<WORD>(text.size() + 1), std::string());
}

std::string VersionText(const std::array<WORD, 4>& version) {
  std::string text;
  for (size_t i = 0; i < version.size(); ++i) {
    if (i != 0) text += '.';
    text += std::to_string(version[i]);
  }
  return text;
}

std::string BuildResource(const std::array<WORD, 4>& version,
                          const std::array<WORD, 4>& fileVersion) {
  VS_FIXEDFILEINFO fixed = {};
  fixed.dwSignature = VS_FFI_SIGNATURE;
  fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
  fixed.dwProductVersionMS = (static_cast<DWORD>(version[0]) << 16) | version[1];
  fixed.dwProductVersionLS = (static_cast<DWORD>(version[2]) << 16) | version[3];
  fixed.dwFileVersionMS = (static_cast<DWORD>(fileVersion[0]) << 16) | fileVersion[1];
  fixed.dwFileVersionLS = (static_cast<DWORD>(fileVersion[2]) << 16) | fileVersion[3];
  fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
  fixed.dwFileOS = VOS_NT_WINDOWS32;
  fixed.dwFileType = VFT_DLL;
  std::string fixedBytes(reinterpret_cast<const char*>(&fixed), sizeof(fixed));

  std::string table =
      Block(u"040904B0", kTextValue, std::string(), 0,
            TextValueBlock(u"FileVersion", winsim::Widen(VersionText(fileVersion))) +
                TextValueBlock(u"ProductVersion", winsim::Widen(VersionText(version))));
  std::string strings = Block(u"StringFileInfo", kTextValue, std::string(), 0, table);
  std::string translation(reinterpret_cast<const char*>(&kUsEnglishUnicode),
                          sizeof(kUsEnglishUnicode));
  std::string vars = Block(
      u"VarFileInfo", kTextValue, std::string(), 0,
      Block(u"Translation", kBinaryValue, translation, sizeof(kUsEnglishUnicode), std::string()));
  return Block(u"VS_VERSION_INFO", kBinaryValue, fixedBytes, sizeof(fixed), strings + vars);
}

// The resource of the file, or an empty string with the last error set.
std::string ResourceOf(LPCWSTR fileName) {
  FileSystem& files = Machine::Current().files();
  WideText path = Machine::Current().processes().FullPath(winsim::FromPtr(fileName));
  const FileSystem::Node* node = files.Find(path);
  if (node == nullptr || path.empty()) {
    SetLastError(files.ParentExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return std::string();
  }
  if (node->directory) {
    SetLastError(ERROR_ACCESS_DENIED);
    return std::string();
  }
  auto version = files.ProductVersion(path);
  if (!version) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return std::string();
  }
  return BuildResource(*version, *files.FileVersion(path));
}

struct BlockView {
  const BYTE* start;
  WORD length;
  WORD valueLength;
  WORD type;
  const char16_t* key;
  size_t keyUnits;
  const BYTE* value;
  const BYTE* children;
};

size_t AlignedOffset(size_t offset) {
  return (offset + 3) & ~static_cast<size_t>(3);
}

// Reads the block at start, which must lie within limit; false when it does not.
bool ReadBlock(const BYTE* start, const BYTE* limit, BlockView& view) {
  if (limit - start < 6) return false;
  memcpy(&view.length, start, sizeof(WORD));
  memcpy(&view.valueLength, start + 2, sizeof(WORD));
  memcpy(&view.type, start + 4, sizeof(WORD));
  if (view.length < 6 || view.length > limit - start) return false;
  view.start = start;
  view.key = reinterpret_cast<const char16_t*>(start + 6);
  size_t maxUnits = (view.length - 6) / sizeof(char16_t);
  view.keyUnits = 0;
  while (view.keyUnits < maxUnits && view.key[view.keyUnits] != 0) ++view.keyUnits;
  if (view.keyUnits == maxUnits) return false;
  size_t valueOffset = AlignedOffset(6 + (view.keyUnits + 1) * sizeof(char16_t));
  size_t valueBytes =
      view.type == kTextValue ? view.valueLength * sizeof(char16_t) : view.valueLength;
  view.value = start + valueOffset;
  view.children = start + AlignedOffset(valueOffset + valueBytes);
  return true;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle != nullptr) *lpdwHandle = 0;
  WINSIM_ENTER_OR_FAIL(0);
  std::string resource = ResourceOf(lptstrFilename);
  if (resource.empty()) return 0;
  winsim::PoisonLastError();
  return static_cast<DWORD>(resource.size() * 2 + sizeof(kConversionSignature));
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (lpData == nullptr) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::string resource = ResourceOf(lptstrFilename);
  if (resource.empty()) return FALSE;
  // A short buffer receives the beginning of the resource, as on the platform.
  size_t copied = resource.size() < dwLen ? resource.size() : dwLen;
  memcpy(lpData, resource.data(), copied);
  if (dwLen > copied) {
    size_t room = dwLen - copied;
    memcpy(static_cast<BYTE*>(lpData) + copied, kConversionSignature,
           room < sizeof(kConversionSignature) ? room : sizeof(kConversionSignature));
  }
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const BYTE* rootStart = static_cast<const BYTE*>(pBlock);
  WORD rootLength;
  memcpy(&rootLength, rootStart, sizeof(rootLength));
  BlockView current;
  if (!ReadBlock(rootStart, rootStart + rootLength, current)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  // Each backslash-separated name selects a child by its key, letter case ignored.
  WideText path = winsim::FromPtr(lpSubBlock);
  size_t position = 0;
  while (position < path.size()) {
    if (path[position] == u'\\') {
      ++position;
      continue;
    }
    size_t end = path.find(u'\\', position);
    if (end == WideText::npos) end = path.size();
    WideText name = path.substr(position, end - position);
    position = end;
    const BYTE* blockEnd = current.start + current.length;
    const BYTE* child = current.children;
    bool found = false;
    BlockView view;
    while (child < blockEnd && ReadBlock(child, blockEnd, view)) {
      if (winsim::EqualsIgnoringCase(WideText(view.key, view.keyUnits), name)) {
        found = true;
        break;
      }
      child += AlignedOffset(view.length);
    }
    if (!found) {
      SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    }
    current = view;
  }
  *lplpBuffer = const_cast<BYTE*>(current.value);
  if (puLen != nullptr) *puLen = current.valueLength;
  winsim::PoisonLastError();
  return TRUE;
}
