// Shared by the report and rate tests: a clean table state, a safe list, a
// scratch directory for the report files, and the fixed texts every report
// document holds, written out from the document format.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/traffic_tables.h"
#include "capture/owner_table.h"
#include "platform/platform.h"
#include "settings/safe_list.h"
#include "settings/settings.h"

inline void useSafeList(const std::vector<std::string>& entries) {
    int n = 0;
    for (const std::string& entry : entries) {
        std::strncpy(safeList[n], entry.c_str(), kSafeListEntrySize - 1);
        safeList[n][kSafeListEntrySize - 1] = '\0';
        ++n;
    }
    useSafeListCount(n);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Empty tables, default settings, an empty safe list, reports into a fresh
// scratch directory.
class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        resetOwnerTables();
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
        useSafeList({});
        char pattern[] = "/tmp/kestrava-reports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        setFileDirectory(FileRole::Report, directory.c_str());
    }
    void TearDown() override {
        setFileDirectory(FileRole::Report, nullptr);
        std::string command = "rm -rf '" + directory + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        resetTrafficTables();
    }
    std::string report(const char* name) const { return readFile(directory + "/" + name); }
    std::string directory;
};

// The document head with its title.
inline std::string reportHead(const std::string& title) {
    return "<html>\r\n<head>\r\n<title>" + title +
           "</title>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">\r\n"
           "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
           "<style type=\"text/css\">\r\n"
           "body {font-size:75%;color:#505050;line-height:150%;letter-spacing:1px;"
           "background-color:#ffffff;}\r\n"
           "table,td{border:1px solid;border-collapse: collapse;padding:2px;}\r\n"
           "</style>\r\n</head>\r\n<body>\r\n";
}

// A header row of white-on-black headings.
inline std::string headerRow(std::initializer_list<const char*> labels) {
    std::string row = "<tr>";
    for (const char* label : labels)
        row += std::string("<td style='color:#fff;background-color:#000'>") + label + "</td>";
    return row + "</tr>\r\n";
}

inline const std::string kReportEnd = "</table>\r\n</body></html>\r\n";

// The rows between the two header rows, and after the second.
struct Sections {
    std::string first, second;
};

// Splits a report at its header rows; fails the test when the frame around
// them is not exactly head, first header, rows, second header, rows, end.
inline Sections reportSections(const std::string& document, const std::string& head,
                               const std::string& firstHeader, const std::string& secondHeader) {
    Sections sections;
    EXPECT_EQ(document.compare(0, head.size(), head), 0) << document;
    size_t firstAt = document.find(firstHeader);
    size_t secondAt = document.find(secondHeader);
    EXPECT_EQ(firstAt, head.size()) << document;
    if (firstAt == std::string::npos || secondAt == std::string::npos || secondAt < firstAt)
        return sections;
    size_t endAt = document.size() - kReportEnd.size();
    EXPECT_EQ(document.substr(endAt), kReportEnd);
    size_t rowsAt = firstAt + firstHeader.size();
    sections.first = document.substr(rowsAt, secondAt - rowsAt);
    size_t secondRowsAt = secondAt + secondHeader.size();
    sections.second = document.substr(secondRowsAt, endAt - secondRowsAt);
    return sections;
}
