// The wizard on the in-memory platform, with real packages: made with the
// system's provider on Windows, elsewhere with the portable one.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "FakeSystem.h"
#include "app/Atualizador.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#endif
#include "db/Database.h"

namespace road {

using fake::File;
using fake::With;
inline constexpr const char* kKey = "SOFTWARE\\Holmcrest\\Varnel R40";
inline constexpr const char* kInstalled = "C:\\Varnel\\db.xdb";
inline constexpr const char* kPackage = "C:\\Update\\db.xdb";

inline crypto::Provider& TheProvider() {
    static const std::unique_ptr<crypto::Provider> provider = [] {
#ifdef _WIN32
        auto made = crypto::MakeSystemProvider();
#else
        std::unique_ptr<crypto::Provider> made = std::make_unique<crypto::OpenSslProvider>(
            std::filesystem::path(::testing::TempDir()) / "atualizador-app-keys");
#endif
        // The first use makes the key container and says so in a box; that
        // is over before any road starts.
        fake::FakeSystem first;
        db::BuildPackage(*made, first, "XDB1", 1, "");
        return made;
    }();
    return *provider;
}

// What the wizard finds at start-up; the wizard is made at its first use.
struct Road {
    crypto::Provider& provider = TheProvider();
    fake::FakeSystem sys;
    std::optional<app::Atualizador> made;
    std::string oldBytes, newBytes;

    std::string package(const std::string& version, std::int16_t records = 1200) {
        return db::BuildPackage(provider, sys, version, records, "body of " + version);
    }
    app::Atualizador& wizard() {
        if (!made) made.emplace(sys, sys, provider);
        return *made;
    }
    const app::Control& at(const char* name) { return wizard().form()[name]; }
    void registered() { sys.setRegistryString(kKey, "DB", kInstalled); }
    void installed(File attributes = {}, const std::string& version = "XDB9") {
        registered();
        oldBytes = package(version, 900);
        sys.putFile(kInstalled, oldBytes, attributes);
    }
    void load(File attributes = {}, const std::string& version = "XDB10") {
        if (!sys.exists(kPackage)) sys.putFile(kPackage, package(version), attributes);
        newBytes = sys.contents(kPackage);
        wizard().Load(0xC0C0C0);
    }
    void next() { wizard().Command2Click(); }
    void nextUnanswered() {
        sys.answer(0);
        next();
    }
    // What a release built with `bytes` as its package says of it.
    std::string sealOf(const std::string& bytes) {
        const auto hash = provider.sha256();
        hash->update(bytes);
        std::ostringstream text;
        text << bytes.size() << ' ' << std::hex << std::setfill('0');
        for (const int b : hash->finish()) text << std::setw(2) << b;
        return text.str();
    }
};

}  // namespace road
