// Fixed names and numbers of the product that several parts of the installer share.
#pragma once

#include <windows.h>

constexpr int kBuildNumber = 2609;
// Port monitors of these builds are kept during a reinstall.
constexpr int kOldestCompatibleMonitorBuild = 2605;
// The driver query accepts a driver whose build is above this.
constexpr int kNewestOutdatedDriverBuild = 2604;

constexpr const WCHAR* kMonitorName = L"vexaWriter:";
constexpr const WCHAR* kDriverName = L"vexaWriter printer";
constexpr const WCHAR* kFallbackPrinterName = L"vexaWriter";
