// Whether anyone can see the program's windows. Setup programs and fleet tools often run the
// installer as the system account in the services session, whose window station no user sees:
// a modal window there waits for a click that can never come.
//
// When the question cannot be answered the station counts as not visible: a window that nobody
// can close hangs an unattended deployment, while a window left out loses nothing, since every
// install and uninstall also leaves its log on disk.
#pragma once

bool WindowStationIsVisible();
