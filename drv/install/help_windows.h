// Closing the product's open help windows (class "HH Parent", title "vexaWriter Help") before
// an install or uninstall, so that the help file is not held open.
//
// Each pass finds one window, posts it SC_CLOSE without waiting, and sleeps 50 ms before looking
// again. A window that never closes would keep it looking forever, so it gives up after 100
// passes (about 5 seconds).
#pragma once

void CloseHelpWindows();
