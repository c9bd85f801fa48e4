// The post-reboot check of the "onInit" mode: is one of our 64-bit driver files still waiting
// for a boot-time operation, after deleting what can be deleted now?
#pragma once

bool PostRebootCheck();
