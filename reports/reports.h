// The four HTML reports of the traffic tables: dns.html, tcp.html, icmp.html
// and process.html, written beside the executable (or into the directory the
// offline analyser chose for reports) and opened in the browser by the menu.
//
// Every byte is code page 932, lines end with CR LF, and texts from the tables
// are written as stored (no escaping). Each writer runs on the user-interface
// thread, reads the tables one record at a time under trafficMutex, and
// returns 0 when the file was written, or nonzero after it told the user that
// the file could not be created.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr int kReportPathSize = 261; // at most 260 characters

// The full path of a report file: beside the executable, or the bare name
// (the current directory) when the executable's path cannot be found.
void reportFilePath(const char* fileName, char* out, size_t size);

// Creates (or truncates) the report file. When that fails, shows `message`
// with the caption "OPEN ERROR" owned by `owner` and returns kNoFile.
PlatformFile createReportFile(const char* fileName, const char* message, WindowHandle owner);

int32_t writeDnsReport(WindowHandle owner);
// Takes fresh process and TCP endpoint snapshots first, to name the owner of
// each connection that is opening or established.
int32_t writeTcpReport(WindowHandle owner);
int32_t writeIcmpReport(WindowHandle owner);
int32_t writeProcessReport(WindowHandle owner);

// All four, for the front ends without a menu; false when any failed.
bool writeAllReports(WindowHandle owner);
