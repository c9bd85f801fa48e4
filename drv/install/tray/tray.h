// The tray companion: registered in the machine's Run key and started, or asked to quit and
// removed. Neither operation writes to the log.
#pragma once

struct InstallState;

void StartTray(InstallState& state);
void StopTray();
