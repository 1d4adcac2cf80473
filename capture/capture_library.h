// Binding the capture library (wpcap.dll of Npcap, which lies in the folder
// Npcap below the system directory, where the normal DLL search does not look).
#pragma once

// Points the DLL search path at the Npcap folder and checks that wpcap.dll is
// there. On failure statusMessage holds "Get system directory error.", "Set
// DLL directory error." or "Npcap not found."; on success it is empty. No
// capture call may be made before this returned true; the timer retries it.
bool loadCaptureLibrary();
