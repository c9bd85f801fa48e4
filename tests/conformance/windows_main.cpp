// The conformance probe on Windows: the platform as it is, staged by the check script.
#include "probe.h"

int main() {
  return RunConformanceProbe();
}
