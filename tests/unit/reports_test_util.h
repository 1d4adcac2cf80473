// Shared by the report tests: clean tables and default settings, a scratch
// directory for the report files, and the fixed texts of a report document.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "capture/owner_table.h"
#include "settings/safe_list.h"
#include "settings/settings.h"
#include "support/test_support.h"

const std::string kPlain = "<td>";
const std::string kRed = "<td style='background-color:#ff0'>";
const std::string kGrey = "<td style='background-color:#999'>";
const std::string kMissing = "<td style='background-color:#ddd'>";

// Empty tables, default settings, an empty safe list, reports into a fresh
// scratch directory.
class ReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetTrafficTables();
        resetOwnerTables();
        applyDefaultSettings();
        useSafeListCount(0);
        char pattern[] = "/tmp/kestrava-reports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        setFileDirectory(FileRole::Report, directory.c_str());
    }
    void TearDown() override {
        platformSetSnapshotHooks(nullptr);
        setFileDirectory(FileRole::Report, nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    std::string report(const char* name) const {
        std::ifstream in(directory + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string directory;
};

// A header row of white-on-black headings.
inline std::string headerRow(std::initializer_list<const char*> labels) {
    std::string row = "<tr>";
    for (const char* label : labels)
        row += std::string("<td style='color:#fff;background-color:#000'>") + label + "</td>";
    return row + "</tr>\r\n";
}

// A whole document: the head with its title, the first header row (opening the
// table), its rows, the second header row, its rows and the end.
inline std::string reportDocument(const std::string& title, const std::string& header4,
                                  const std::string& rows4, const std::string& header6,
                                  const std::string& rows6) {
    return "<html>\r\n<head>\r\n<title>" + title +
           "</title>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">\r\n"
           "<meta http-equiv=\"content-style-type\" content=\"text/css\">\r\n"
           "<style type=\"text/css\">\r\n"
           "body {font-size:75%;color:#505050;line-height:150%;letter-spacing:1px;"
           "background-color:#ffffff;}\r\n"
           "table,td{border:1px solid;border-collapse: collapse;padding:2px;}\r\n"
           "</style>\r\n</head>\r\n<body>\r\n<table>" +
           header4 + rows4 + header6 + rows6 + "</table>\r\n</body></html>\r\n";
}
