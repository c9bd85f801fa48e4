// Control of the print spooler service ("spooler") on the local machine.
//
// CheckSpooler makes sure the spooler runs before a run starts and logs under "#Check Spooler".
// SpoolerPause stops the spooler for the length of a scope, so that files it holds can be
// replaced or deleted, and starts it again when the scope ends; with an InstallState it logs
// "#Restart Spooler" and reports its failures (codes 1 to 5), without one it reports nothing.
// Waits poll every 200 ms, at most 50 times, for each stop and each start.
#pragma once

#include <windows.h>

#include "foundation/handles.h"

struct InstallState;

// True when the spooler runs or was started, and when its state cannot be read (nothing is
// started then); false when the manager or the service cannot be opened or the start fails.
bool CheckSpooler(InstallState& state);

// Starts the service (it may be running already) and polls until it runs. The handle needs
// SERVICE_START and SERVICE_QUERY_STATUS. Logs nothing. On false the last error tells why: the
// start's own error, or ERROR_SERVICE_REQUEST_TIMEOUT when the service never came up.
bool StartSpoolerAndWait(SC_HANDLE service);

class SpoolerPause {
 public:
  // Stops the spooler and waits for it to stop. `state` may be null.
  explicit SpoolerPause(InstallState* state);
  // Starts the spooler again when a stop was requested, then closes the handles.
  ~SpoolerPause();
  SpoolerPause(const SpoolerPause&) = delete;
  SpoolerPause& operator=(const SpoolerPause&) = delete;

 private:
  InstallState* state_;
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
  BYTE stopRequested_ = 0;
};
