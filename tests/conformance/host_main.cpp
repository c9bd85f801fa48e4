// The conformance probe against the simulated Windows: stages on a machine the situation the
// check script gives the real platform (see probe.h), then runs the same topics.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/services.h>
#include <winsim/spooler.h>
#include <winsim/tray_companion.h>

#include "probe.h"

namespace {

// Stand-ins for the package files: the bytes differ from the real ones, the versions do not.
void StagePackageFile(winsim::FileSystem& files, const winsim::WideText& path, bool withVersion) {
  files.AddFile(path, "stand-in");
  if (withVersion) files.SetProductVersion(path, {1, 0, 0, 2609});
}

}  // namespace

int main() {
  winsim::Machine machine;
  winsim::FileSystem& files = machine.files();
  const winsim::WideText probe = u"C:\\probe\\";
  for (const char16_t* name : {u"zqvmon64.dll", u"zqvdrv64.dll", u"zqvui64.dll", u"vextray.exe"}) {
    StagePackageFile(files, probe + name, true);
  }
  StagePackageFile(files, probe + u"zqvhelp.chm", false);
  for (const winsim::WideText& path : {probe + u"vsample.dll", probe + u"old\\zqvdrv64.dll"}) {
    files.AddFile(path, "version sample");
    files.SetProductVersion(path, {1, 0, 0, 2609});
    files.SetFileVersion(path, {1, 0, 0, 1000});
  }
  StagePackageFile(files, machine.processes().systemDirectory + u"\\zqvmon64.dll", true);
  files.AddDirectory(machine.spooler().driverDirectory + u"\\3");
  // The account's temporary folder, as a new prefix has it.
  files.AddDirectory(machine.processes().tempDirectory);
  // The copy of the companion the tray topic starts is the scripted companion.
  winsim::TrayCompanion().InstallAt(machine, probe + u"old\\vextray.exe");

  // The service starts in about 70 ms and stops at once, as near as measured; even so the stop
  // control is answered before the service has stopped. It is stopped at first.
  winsim::Service& spooler = machine.services().Spooler();
  spooler.startDelayMs = 70;
  spooler.stopDelayMs = 0;
  machine.spooler().Stop();
  return RunConformanceProbe();
}
