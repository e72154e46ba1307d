#pragma once

#include <filesystem>
#include <string>

#include "platform/win32/Text.h"
#include "uidriver.h"

// A temporary folder for one test, removed with everything in it.
class TempFolder {
  public:
    explicit TempFolder(const char* prefix = "win32") : path_(uidriver::MakeTempFolder(prefix)) {}
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(platform::win32::Widen(path_), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};
