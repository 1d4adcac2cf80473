#include "capture/capture_library.h"

#include "platform/windows_api.h"

#include <cstdio>

#include "app/overlay_model.h"

namespace {

constexpr int kPathSize = 512;

void setStatus(const char* text) {
    std::snprintf(statusMessage, sizeof statusMessage, "%s", text);
}

} // namespace

bool loadCaptureLibrary() {
    char folder[kPathSize];
    // room is kept for the two names appended below
    if (GetSystemDirectoryA(folder, 480) == 0) {
        setStatus("Get system directory error.");
        return false;
    }
    char npcap[kPathSize];
    std::snprintf(npcap, sizeof npcap, "%s\\Npcap", folder);
    if (!SetDllDirectoryA(npcap)) {
        setStatus("Set DLL directory error.");
        return false;
    }
    char library[kPathSize];
    std::snprintf(library, sizeof library, "%s\\wpcap.dll", npcap);
    DWORD attributes = GetFileAttributesA(library);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        statusMessage[0] = '\0';
        return true;
    }
    setStatus("Npcap not found.");
    return false;
}
