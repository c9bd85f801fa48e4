// The query modes: they answer through the exit code and keep no log.
#pragma once

bool QueryDriverBuild();
bool QueryDefaultNotOurs();
void SetOurPrinterDefault();
