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

namespace {

template <class Function> bool bindCall(HMODULE library, Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return slot != nullptr;
}

} // namespace

bool bindCaptureLibrary() {
    static HMODULE library; // kept for the life of the process
    if (library) return true;
    HMODULE loaded = LoadLibraryA("wpcap.dll");
    if (!loaded) return false;
    CaptureLibrary bound{};
    // Calls the program can do without: pcap_init (nothing to initialise),
    // pcap_next_ex (only needed where pcap_loop does not work), and the two it
    // never makes.
    bindCall(loaded, bound.init, "pcap_init");
    bindCall(loaded, bound.nextEx, "pcap_next_ex");
    bindCall(loaded, bound.stats, "pcap_stats");
    bindCall(loaded, bound.close, "pcap_close");
    const bool complete = bindCall(loaded, bound.findAllDevicesEx, "pcap_findalldevs_ex") &&
                          bindCall(loaded, bound.freeAllDevices, "pcap_freealldevs") &&
                          bindCall(loaded, bound.open, "pcap_open") &&
                          bindCall(loaded, bound.loop, "pcap_loop") &&
                          bindCall(loaded, bound.breakLoop, "pcap_breakloop");
    if (!complete) {
        FreeLibrary(loaded);
        return false;
    }
    captureLibrary = bound;
    library = loaded;
    return true;
}
