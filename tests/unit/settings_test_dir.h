// A fresh configuration directory per test, default settings on a 1920 x 1080
// screen, and message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/settings.h"

struct RecordedMessage {
    std::string text, caption;
    MessageIcon icon;
};

inline std::vector<RecordedMessage> recordedMessages;

inline void recordMessage(const char* text, const char* caption, MessageIcon icon) {
    recordedMessages.push_back({text, caption, icon});
}

class ConfigDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setFileDirectory(FileRole::Config, dir_.c_str());
        recordedMessages.clear();
        platformSetMessageBoxHook(recordMessage);
        screenWidth = 1920;
        screenHeight = 1080;
        applyDefaultSettings();
    }
    void TearDown() override {
        platformSetMessageBoxHook(nullptr);
        setFileDirectory(FileRole::Config, nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string pathOf(const std::string& name) const { return dir_ + "/" + name; }
    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(pathOf(name), std::ios::binary) << bytes;
    }
    std::string readFile(const std::string& name) const {
        std::ifstream in(pathOf(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The one message shown since SetUp; fails the test unless exactly one was.
    void expectOneMessage(const std::string& text, const char* caption) const {
        ASSERT_EQ(recordedMessages.size(), 1u);
        EXPECT_EQ(recordedMessages[0].text, text);
        EXPECT_EQ(recordedMessages[0].caption, caption);
        EXPECT_EQ(recordedMessages[0].icon, MessageIcon::Error);
    }
    std::string dir_;
};
