// InstallPortMonitor ("#AddMonitor"): copies the monitor DLL into the system directory (unless
// copyMonitor was cleared because a compatible DLL is in place), registers the monitor
// "vexaWriter:" with the spooler, and puts the printers that RemovePortMonitor moved to "file:"
// back on our port.
//
// A copy that fails quietly is tried again with the spooler stopped, where a failure is an
// error of the run (codes 8 to 10). The monitor is added in at most five attempts 50 ms apart;
// a monitor "vexaWriter:" already registered with our DLL (its removal failed) counts as added:
// "AddMonitor - already installed :)". After the fifth failure error 11 is reported and the
// printers stay on "file:". A printer is
// put back only at the entry the removal replaced, and only while that entry still reads
// "file:"; a printer that cannot be opened or set is only logged.
#pragma once

struct InstallState;

void InstallPortMonitor(InstallState& state);
