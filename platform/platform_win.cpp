// The platform seam on Windows.
#include "platform/windows_api.h"

#include <iphlpapi.h>
#include <tlhelp32.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

const char platformPathSeparator = '\\';

bool platformExecutableDirectory(char* out, size_t size) {
    if (size == 0) return false;
    char path[MAX_PATH];
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0) return false;
    char drive[_MAX_DRIVE];
    char directory[_MAX_DIR];
    _splitpath(path, drive, directory, nullptr, nullptr); // the directory keeps its '\'
    int n = std::snprintf(out, size, "%s%s", drive, directory);
    return n > 0 && size_t(n) < size;
}

// ---- Files ---------------------------------------------------------------------

static PlatformFile fromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<PlatformFile>(h);
}

static HANDLE toHandle(PlatformFile file) {
    return reinterpret_cast<HANDLE>(file);
}

PlatformFile platformOpenExisting(const char* path) {
    return fromHandle(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatformFile platformCreateAlways(const char* path) {
    return fromHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t platformFileSize(PlatformFile file) {
    if (file == kNoFile) return -1;
    DWORD high = 0;
    DWORD low = GetFileSize(toHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return (int64_t(high) << 32) | int64_t(low);
}

int platformReadFile(PlatformFile file, void* buffer, int size) {
    if (file == kNoFile || size < 0) return -1;
    DWORD read = 0;
    if (!ReadFile(toHandle(file), buffer, DWORD(size), &read, nullptr)) return -1;
    return int(read);
}

bool platformWriteFile(PlatformFile file, const void* data, int size) {
    if (file == kNoFile || size < 0) return false;
    DWORD written = 0;
    return WriteFile(toHandle(file), data, DWORD(size), &written, nullptr) &&
           written == DWORD(size);
}

void platformCloseFile(PlatformFile file) {
    if (file != kNoFile) CloseHandle(toHandle(file));
}

// ---- Messages to the user ------------------------------------------------------

static std::atomic<MessageBoxHook> messageBoxHook{nullptr};

void platformSetMessageBoxHook(MessageBoxHook hook) {
    messageBoxHook.store(hook);
}

void platformMessageBox(WindowHandle owner, const char* text, const char* caption,
                        MessageIcon icon) {
    if (MessageBoxHook hook = messageBoxHook.load()) {
        hook(text, caption, icon);
        return;
    }
    UINT style = icon == MessageIcon::Error ? MB_ICONHAND : MB_ICONEXCLAMATION;
    MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

// ---- Address text --------------------------------------------------------------

void platformFormatAddress6(const Address6& address, char* out, size_t size) {
    if (size == 0) return;
    if (!inet_ntop(AF_INET6, address.bytes, out, size)) out[0] = '\0';
}

// ---- System snapshots ----------------------------------------------------------

int systemSnapshotProcesses(ProcessEntry* out, int capacity) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 entry;
    static_assert(sizeof entry.szExeFile[0] == 1, "the ANSI process entry");
    entry.dwSize = sizeof entry;
    if (!Process32First(snapshot, &entry)) {
        CloseHandle(snapshot);
        return -1;
    }
    int count = 0;
    do {
        if (count >= capacity) break;
        out[count].processId = entry.th32ProcessID;
        std::snprintf(out[count].exeName, kExeNameSize, "%.*s", int(sizeof entry.szExeFile),
                      entry.szExeFile);
        ++count;
        entry.dwSize = sizeof entry;
    } while (Process32Next(snapshot, &entry));
    CloseHandle(snapshot);
    return count;
}

// Appends the rows of one owner-process table in table order. The row count is
// checked against the buffer the system filled.
template <typename Table>
static void appendEndpointRows(const void* buffer, DWORD size, std::vector<EndpointRow>* rows) {
    const Table* table = static_cast<const Table*>(buffer);
    const size_t rowsOffset = offsetof(Table, table);
    if (size < rowsOffset) return;
    size_t count = table->dwNumEntries;
    const size_t fits = (size - rowsOffset) / sizeof(table->table[0]);
    if (count > fits) count = fits;
    rows->reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const auto& row = table->table[i];
        // The local port sits in network order in the field's low 16 bits.
        rows->push_back({uint32_t(row.dwOwningPid), ntohs(u_short(row.dwLocalPort & 0xFFFF))});
    }
}

bool systemEndpointTable(EndpointTable which, std::vector<EndpointRow>* rows) {
    rows->clear();
    const bool tcp = which == EndpointTable::Tcp4 || which == EndpointTable::Tcp6;
    const ULONG family =
        (which == EndpointTable::Tcp4 || which == EndpointTable::Udp4) ? AF_INET : AF_INET6;

    auto query = [&](void* buffer, DWORD* size) -> DWORD {
        if (tcp) return GetExtendedTcpTable(buffer, size, TRUE, family, TCP_TABLE_OWNER_PID_ALL, 0);
        return GetExtendedUdpTable(buffer, size, TRUE, family, UDP_TABLE_OWNER_PID, 0);
    };

    // First ask for the size; only "buffer too small" means there is a table.
    DWORD size = 0;
    if (query(nullptr, &size) != ERROR_INSUFFICIENT_BUFFER) return false;
    void* buffer = std::malloc(size);
    if (!buffer) return false;
    DWORD filled = size;
    if (query(buffer, &filled) != NO_ERROR) {
        std::free(buffer);
        return false;
    }
    switch (which) {
    case EndpointTable::Tcp4:
        appendEndpointRows<MIB_TCPTABLE_OWNER_PID>(buffer, size, rows);
        break;
    case EndpointTable::Tcp6:
        appendEndpointRows<MIB_TCP6TABLE_OWNER_PID>(buffer, size, rows);
        break;
    case EndpointTable::Udp4:
        appendEndpointRows<MIB_UDPTABLE_OWNER_PID>(buffer, size, rows);
        break;
    case EndpointTable::Udp6:
        appendEndpointRows<MIB_UDP6TABLE_OWNER_PID>(buffer, size, rows);
        break;
    }
    std::free(buffer);
    return true;
}
