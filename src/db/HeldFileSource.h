#pragma once

#include <cstdint>
#include <string>

#include "db/Database.h"
#include "db/PackageSource.h"
#include "platform/HeldFile.h"
#include "platform/SystemError.h"

namespace db {

// A package read through a file the updater holds: the header-cost reader
// reads the very bytes that are later installed.
class HeldFileSource final : public PackageSource {
  public:
    explicit HeldFileSource(platform::HeldFile& file) : file_(file) {}

    std::uint64_t size() override {
        try {
            return file_.size();
        } catch (const platform::SystemError& e) {
            throw SourceError(e.what());
        }
    }
    std::string read(std::uint64_t offset, std::size_t length) override {
        try {
            return file_.read(offset, length);
        } catch (const platform::SystemError& e) {
            throw SourceError(e.what());
        }
    }

  private:
    platform::HeldFile& file_;
};

// ReadDatabaseHeader over a held file; null stands for one that could not
// be opened.
inline PackageLayout ReadHeldDatabaseHeader(crypto::Provider& provider, platform::UserInterface& ui,
                                            platform::HeldFile* file,
                                            API_FILE::DatabaseSummary& summary) {
    if (!file) return ReadDatabaseHeader(provider, ui, nullptr, summary);
    HeldFileSource source(*file);
    return ReadDatabaseHeader(provider, ui, &source, summary);
}

}  // namespace db
