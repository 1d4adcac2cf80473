#include <cstdarg>
#include <cstdio>

#include "reports/report_frame.h"
#include "reports/reports.h"

void reportFilePath(const char* fileName, char* out, size_t size) {
    filePathFor(FileRole::Report, fileName, out, size);
}

PlatformFile createReportFile(const char* fileName, const char* message, WindowHandle owner) {
    char path[kReportPathSize];
    reportFilePath(fileName, path, sizeof path);
    PlatformFile file = platformCreateAlways(path);
    if (file == kNoFile) platformMessageBox(owner, message, "OPEN ERROR", MessageIcon::Error);
    return file;
}

void writeFragment(ReportWriter& writer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(writer.buffer, sizeof writer.buffer, format, args);
    va_end(args);
    if (length < 0) return;
    if (length >= kFragmentBufferSize) length = kFragmentBufferSize - 1;
    platformWriteFile(writer.file, writer.buffer, length);
}

bool beginReport(ReportWriter& writer, const char* fileName, const char* message, const char* title,
                 WindowHandle owner) {
    writer.file = createReportFile(fileName, message, owner);
    if (writer.file == kNoFile) return false;
    writeFragment(writer,
                  "<html>\r\n"
                  "<head>\r\n"
                  "<title>%s</title>\r\n"
                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">\r\n"
                  "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
                  "<style type=\"text/css\">\r\n"
                  "body {font-size:75%%;color:#505050;line-height:150%%;letter-spacing:1px;"
                  "background-color:#ffffff;}\r\n"
                  "table,td{border:1px solid;border-collapse: collapse;padding:2px;}\r\n"
                  "</style>\r\n"
                  "</head>\r\n"
                  "<body>\r\n",
                  title);
    return true;
}

void writeHeaderRow(ReportWriter& writer, bool openTable, const char* const* labels, int count) {
    writeFragment(writer, "%s<tr>", openTable ? "<table>" : "");
    for (int i = 0; i < count; ++i)
        writeFragment(writer, "<td style='color:#fff;background-color:#000'>%s</td>", labels[i]);
    writeFragment(writer, "</tr>\r\n");
}

void endReport(ReportWriter& writer) {
    writeFragment(writer, "</table>\r\n");
    writeFragment(writer, "</body></html>\r\n");
    platformCloseFile(writer.file);
    writer.file = kNoFile;
}

bool writeAllReports(WindowHandle owner) {
    bool written = writeDnsReport(owner) == 0;
    written &= writeTcpReport(owner) == 0;
    written &= writeIcmpReport(owner) == 0;
    written &= writeProcessReport(owner) == 0;
    return written;
}
