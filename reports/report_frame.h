// What the four report writers share: the document frame, the header rows and
// the fragment writer. Internal to reports/.
#pragma once

#include <cstdint>

#include "analysis/addresses.h"
#include "analysis/traffic_tables.h"
#include "platform/platform.h"

// A report is composed one fragment at a time in this buffer and each fragment
// is written as soon as it is complete. A fragment holds at most one stored
// text (at most 259 characters) beside less than 300 characters of fixed text.
constexpr int kFragmentBufferSize = 1024;

struct ReportWriter {
    PlatformFile file;
    char buffer[kFragmentBufferSize];
};

// Formats one fragment into the writer's buffer and writes it. A failed write
// is not noticed; the report goes on.
void writeFragment(ReportWriter& writer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Creates the file and writes the document head with `title`. False (after the
// failure message was shown) when the file cannot be created.
bool beginReport(ReportWriter& writer, const char* fileName, const char* message, const char* title,
                 WindowHandle owner);

// One header row of white-on-black headings, optionally opening a table first.
void writeHeaderRow(ReportWriter& writer, bool openTable, const char* const* labels, int count);

// "</table>", "</body></html>", then closes the file.
void endReport(ReportWriter& writer);

// Row colours.
constexpr const char* kFailureCell = "<td style='background-color:#ff0'>";
constexpr const char* kExcusedCell = "<td style='background-color:#ddf'>";
constexpr const char* kClosedCell = "<td style='background-color:#999'>";
constexpr const char* kMissingCell = "<td style='background-color:#ddd'>";
constexpr const char* kPlainCell = "<td>";
