// The thin seam between the portable code and the operating system.
//
// Everything the analysis, settings, safe list and reports need from the OS goes
// through these free functions. platform_win.cpp implements them with Win32;
// platform_posix.cpp implements them for Linux, where the offline analyser, the
// terminal view and the tests run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/addresses.h"

// The owner of message boxes: the overlay window on Windows (an HWND), null in
// the offline analyser and the tests.
using WindowHandle = void*;

// ---- Files ---------------------------------------------------------------------

// The directory of the running executable, with its trailing separator, in `out`.
// Returns false when the executable's path cannot be found.
bool platformExecutableDirectory(char* out, size_t size);

// Path separator of the platform, for joining a directory and a file name.
extern const char platformPathSeparator;

// An open file, or kNoFile. Files are always opened without sharing.
using PlatformFile = intptr_t;
constexpr PlatformFile kNoFile = -1;

// Opens an existing file for reading and writing (never creates one). Fails when
// the file is missing, read-only or held open by another program.
PlatformFile platformOpenExisting(const char* path);
// Creates the file for writing, or truncates it when it exists.
PlatformFile platformCreateAlways(const char* path);
// The size of the open file in bytes, or -1.
int64_t platformFileSize(PlatformFile file);
// Reads at most `size` bytes; returns the number read, or -1.
int platformReadFile(PlatformFile file, void* buffer, int size);
// Writes all `size` bytes; returns false on failure.
bool platformWriteFile(PlatformFile file, const void* data, int size);
void platformCloseFile(PlatformFile file);

// ---- Messages to the user ------------------------------------------------------

enum class MessageIcon { Error, Exclamation };

// Shows a message box owned by `owner` and returns when the user closed it.
// `text` and `caption` are code page 932. On POSIX the caption and the text are
// printed on standard error in the terminal's encoding instead.
void platformMessageBox(WindowHandle owner, const char* text, const char* caption,
                        MessageIcon icon);

// Tests replace the message box with a recorder; null restores the default.
using MessageBoxHook = void (*)(const char* text, const char* caption, MessageIcon icon);
void platformSetMessageBoxHook(MessageBoxHook hook);

// ---- Address text --------------------------------------------------------------

constexpr int kAddress6TextSize = 46; // INET6_ADDRSTRLEN

// The platform's inet_ntop(AF_INET6) text of an IPv6 address.
void platformFormatAddress6(const Address6& address, char* out, size_t size);

// An address as the system shows it everywhere: "%d.%d.%d.%d" of the four
// bytes in wire order, or the platform's inet_ntop text. `out` holds at least
// kAddressTextSize bytes.
constexpr int kAddressTextSize = kAddress6TextSize;
inline void addressText(Address4 address, char* out) {
    formatAddress4(address, out);
}
inline void addressText(const Address6& address, char* out) {
    platformFormatAddress6(address, out, kAddressTextSize);
}

// ---- Terminal text (POSIX) ------------------------------------------------------

// The code page 932 `text` (`length` bytes) in the character set of the
// environment's locale, for a terminal or a log: at most `size` - 1 bytes and a
// NUL in `out`; a character the set lacks becomes '?'. Returns the length.
// One thread at a time.
size_t platformTerminalText(const char* text, size_t length, char* out, size_t size);
// True when that character set is UTF-8 (box-drawing characters can be shown).
bool platformTerminalIsUtf8();

// ---- System snapshots ----------------------------------------------------------

constexpr int kExeNameSize = 260;

// One running process: its id and its executable's file name without a path.
struct ProcessEntry {
    uint32_t processId;
    char exeName[kExeNameSize];
};

// One row of an endpoint table: the owning process and the local port (host
// byte order). Addresses and connection states are not needed.
struct EndpointRow {
    uint32_t owningPid;
    uint16_t localPort;
};

enum class EndpointTable { Tcp4, Tcp6, Udp4, Udp6 };

// Fills `out` with up to `capacity` running processes in the system's snapshot
// order; returns how many, or -1 when no snapshot could be taken. Windows: every
// process (Toolhelp). Linux: the processes that hold a TCP or UDP socket, found
// in one walk of /proc that also takes the endpoint tables.
int platformSnapshotProcesses(ProcessEntry* out, int capacity);

// The system's endpoint table with owning process ids (0 when no process holds
// the endpoint). Windows: GetExtendedTcpTable / GetExtendedUdpTable, sorted.
// Linux: the rows of /proc/net as the last process snapshot read them, so take
// that snapshot first. Returns false when the table cannot be had.
bool platformEndpointTable(EndpointTable table, std::vector<EndpointRow>* rows);

// Tests replace the two snapshots with their own, and the offline analyser with
// none (this machine's sockets are not the capture's); null, or a null member,
// restores the system's. The pointers are copied.
struct SnapshotHooks {
    int (*processes)(ProcessEntry* out, int capacity);
    bool (*endpoints)(EndpointTable table, std::vector<EndpointRow>* rows);
};
void platformSetSnapshotHooks(const SnapshotHooks* hooks);

// The system's own snapshots, one implementation per platform file. The two
// functions above call them unless a hook is set; call those instead.
int systemSnapshotProcesses(ProcessEntry* out, int capacity);
bool systemEndpointTable(EndpointTable table, std::vector<EndpointRow>* rows);

// ---- Where the system's files lie ----------------------------------------------

// Configuration files (setting.ini, safelist.txt) and reports (the four HTML
// files) lie beside the executable. The offline analyser may point each role at
// another directory; null or "" goes back to beside the executable.
enum class FileRole { Config, Report };
void setFileDirectory(FileRole role, const char* directory);

// The full path of `fileName` for `role` in `out` (at most `size` - 1
// characters). When the executable's directory cannot be found, the bare file
// name (the current directory).
void filePathFor(FileRole role, const char* fileName, char* out, size_t size);
