// Stand-in UI DLL of the printer driver: the configuration entry points the spooler calls when
// a printer of the driver is added or its device settings are asked for. It offers one paper
// size (A4), portrait or landscape, one copy at a time, and no property pages.
#include <windows.h>

namespace {

// The header the spooler passes to DrvDocumentPropertySheets when it wants the settings
// without any dialog (layout as documented for printer interface DLLs).
struct DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  DEVMODEW* pdmIn;
  DEVMODEW* pdmOut;
  DWORD cbOut;
  DWORD fMode;
};

constexpr DWORD kDriverVersion = 0x0100;
constexpr DWORD kSupportedFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
const WCHAR kPaperName[] = L"A4";
constexpr LONG kA4WidthTenthsOfMm = 2100;
constexpr LONG kA4HeightTenthsOfMm = 2970;
constexpr DWORD kCapabilityError = static_cast<DWORD>(-1);

void FillDefaultSettings(DEVMODEW& settings, const WCHAR* printerName) {
  ZeroMemory(&settings, sizeof(settings));
  if (printerName != nullptr) lstrcpynW(settings.dmDeviceName, printerName, CCHDEVICENAME);
  settings.dmSpecVersion = DM_SPECVERSION;
  settings.dmDriverVersion = static_cast<WORD>(kDriverVersion);
  settings.dmSize = sizeof(DEVMODEW);
  settings.dmDriverExtra = 0;
  settings.dmFields = kSupportedFields;
  settings.dmOrientation = DMORIENT_PORTRAIT;
  settings.dmPaperSize = DMPAPER_A4;
  settings.dmCopies = 1;
}

// Takes over the caller's choices that this driver supports.
void MergeSettings(DEVMODEW& settings, const DEVMODEW& input) {
  if (input.dmSize < offsetof(DEVMODEW, dmCopies) + sizeof(input.dmCopies)) return;
  if ((input.dmFields & DM_ORIENTATION) &&
      (input.dmOrientation == DMORIENT_PORTRAIT || input.dmOrientation == DMORIENT_LANDSCAPE)) {
    settings.dmOrientation = input.dmOrientation;
  }
}

}  // namespace

extern "C" __declspec(dllexport) LONG WINAPI
    DrvDocumentPropertySheets(void* sheetInfo, LPARAM lParam) {
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
  if (sheetInfo != nullptr || header == nullptr) {
    // No property pages: the stand-in has nothing for the user to choose.
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  header->cbOut = sizeof(DEVMODEW);
  if (header->fMode == 0 || header->pdmOut == nullptr) return sizeof(DEVMODEW);
  DEVMODEW settings;
  FillDefaultSettings(settings, header->pszPrinterName);
  if ((header->fMode & DM_IN_BUFFER) && header->pdmIn != nullptr) {
    MergeSettings(settings, *header->pdmIn);
  }
  if (header->fMode & DM_OUT_BUFFER) CopyMemory(header->pdmOut, &settings, sizeof(settings));
  return IDOK;
}

extern "C" __declspec(dllexport) DWORD WINAPI
    DrvDeviceCapabilities(HANDLE, PWSTR, WORD capability, void* output, DEVMODEW*) {
  switch (capability) {
    case DC_FIELDS:
      return kSupportedFields;
    case DC_SIZE:
      return sizeof(DEVMODEW);
    case DC_EXTRA:
      return 0;
    case DC_VERSION:
      return DM_SPECVERSION;
    case DC_DRIVER:
      return kDriverVersion;
    case DC_COPIES:
      return 1;
    case DC_ORIENTATION:
      return 90;  // landscape turns the page counter-clockwise
    case DC_PAPERS:
      if (output != nullptr) *static_cast<WORD*>(output) = DMPAPER_A4;
      return 1;
    case DC_PAPERSIZE:
      if (output != nullptr) {
        auto* size = static_cast<POINT*>(output);
        size->x = kA4WidthTenthsOfMm;
        size->y = kA4HeightTenthsOfMm;
      }
      return 1;
    case DC_PAPERNAMES:
      if (output != nullptr) {
        auto* names = static_cast<WCHAR*>(output);
        ZeroMemory(names, 64 * sizeof(WCHAR));
        lstrcpynW(names, kPaperName, 64);
      }
      return 1;
    case DC_BINS:
    case DC_BINNAMES:
    case DC_ENUMRESOLUTIONS:
    case DC_MEDIATYPES:
    case DC_MEDIATYPENAMES:
      return 0;
    default:
      return kCapabilityError;
  }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
