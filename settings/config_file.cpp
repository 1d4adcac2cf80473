#include "settings/config_file.h"

ConfigRead readConfigFile(const char* fileName, int limit, const char* tooLargeMessage,
                          WindowHandle owner, char* text, int* length) {
    char path[1024];
    filePathFor(FileRole::Config, fileName, path, sizeof path);
    *length = 0;
    PlatformFile file = platformOpenExisting(path);
    if (file == kNoFile) return ConfigRead::NotOpened;
    if (platformFileSize(file) > limit) {
        platformMessageBox(owner, tooLargeMessage, "SIZE ERROR", MessageIcon::Error);
        platformCloseFile(file);
        return ConfigRead::TooLarge;
    }
    int read = platformReadFile(file, text, limit);
    platformCloseFile(file);
    *length = read < 0 ? 0 : read;
    return ConfigRead::Read;
}
