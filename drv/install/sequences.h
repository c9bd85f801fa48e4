// The install and uninstall sequences: fixed orders of steps over one InstallState.
#pragma once

struct InstallState;

void UnInstall(InstallState& state);
void FullUninstall(InstallState& state);
void ReInstall(InstallState& state);
