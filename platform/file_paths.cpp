// Where the system's files lie: beside the executable, unless the offline
// analyser pointed a role at a directory of its own.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr int kDirectorySize = 1024;
constexpr int kRoleCount = 2;

char roleDirectories[kRoleCount][kDirectorySize]; // "" = beside the executable

char* roleDirectory(FileRole role) {
    return roleDirectories[role == FileRole::Config ? 0 : 1];
}

bool endsWithSeparator(const char* directory) {
    size_t n = std::strlen(directory);
    if (n == 0) return false;
    char last = directory[n - 1];
    return last == '/' || last == platformPathSeparator;
}

} // namespace

void setFileDirectory(FileRole role, const char* directory) {
    char* slot = roleDirectory(role);
    std::snprintf(slot, kDirectorySize, "%s", directory ? directory : "");
}

void filePathFor(FileRole role, const char* fileName, char* out, size_t size) {
    if (size == 0) return;
    const char* chosen = roleDirectory(role);
    if (*chosen) {
        const char separator[2] = {endsWithSeparator(chosen) ? '\0' : platformPathSeparator, '\0'};
        std::snprintf(out, size, "%s%s%s", chosen, separator, fileName);
        return;
    }
    char directory[kDirectorySize];
    if (platformExecutableDirectory(directory, sizeof directory)) {
        std::snprintf(out, size, "%s%s", directory, fileName);
    } else {
        std::snprintf(out, size, "%s", fileName); // the current directory
    }
}
