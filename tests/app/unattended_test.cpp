// The unattended mode over the in-memory platform: each outcome's exit code,
// the files it leaves, and the log that replaces every box.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeSystem.h"
#include "app/Fatal.h"
#include "app/Unattended.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#endif
#include "db/Database.h"
#include "platform/SystemError.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Holmcrest\\Varnel R40";
constexpr const char* kInstalled = "C:\\Varnel\\db.xdb";
constexpr const char* kPackage = "C:\\Update\\db.xdb";

constexpr auto npos = std::string::npos;

fake::File With(bool fake::File::*attribute) {
    fake::File f;
    f.*attribute = true;
    return f;
}

struct Exited {
    int code;
};

struct Host final : platform::UnattendedHost {
    void log(std::string_view line) noexcept override { lines.emplace_back(line); }
    std::uint64_t milliseconds() override { return now; }
    void sleep(std::uint32_t ms) override {
        now += ms;
        if (onSleep) onSleep();
    }
    [[noreturn]] void exit(int code) override { throw Exited{code}; }
    std::vector<std::string> lines;
    std::uint64_t now = 7;
    std::function<void()> onSleep;
};

struct Case {
    const char* name;  // the fault it catches
    std::function<void(fake::FakeSystem&, Host&, const std::string& newBytes)> setUp;
    int code;
    bool installed;  // the new database in place, else the old one untouched
    bool packageKept;
    const char* logged;  // found in some line of the log
    bool othersRunning = false;
};

TEST(Unattended, EveryOutcomeHasItsCodeItsFilesAndItsLogAndNoBox) {
    const auto garbage = [](const char* path) {
        return [=](fake::FakeSystem& s, Host&, const std::string&) { s.putFile(path, "lixo"); };
    };
    const Case cases[] = {
        {"an installation not reported as done", {}, 0, true, false, "atualizado com sucesso"},
        {"the same version installed again",
         [](fake::FakeSystem& s, Host&, const std::string& b) { s.putFile(kInstalled, b); }, 0,
         true, true, "é a mesma"},
        {"a missing package not told apart", [](auto& s, auto&, auto&) { s.deleteFile(kPackage); },
         2, false, false, "não pôde encontrar"},
        {"a corrupted package installed", garbage(kPackage), 3, false, true, "corrompido"},
        {"no product taken for a reinstall",
         [](fake::FakeSystem& s, Host&, const std::string&) {
             s.setRegistryString(kKey, "DB", "");
         },
         4, false, true, "Nenhuma versão"},
        {"a corrupted installed database told as the package's", garbage(kInstalled), 5, false,
         true, "corrompido"},
        {"the reinstall question not answered Yes",
         [](auto& s, auto&, auto&) { s.deleteFile(kInstalled); }, 0, true, false, "inexistente"},
        {"a database in use waited for more or less than a minute, or not every half second",
         [](fake::FakeSystem& s, Host& h, const std::string&) {
             s.putFile(kInstalled, s.contents(kInstalled), With(&fake::File::locked));
             h.onSleep = [&h] { EXPECT_TRUE(h.now <= 60007 && (h.now - 7) % 500 == 0); };
         },
         1618, false, true, "Feche toda janela"},
        {"a database let go of within the minute not installed",
         [](fake::FakeSystem& s, Host& h, const std::string&) {
             s.putFile(kInstalled, s.contents(kInstalled), With(&fake::File::locked));
             h.onSleep = [&] {
                 if (h.now > 59000) s.putFile(kInstalled, "antigo");
             };
         },
         0, true, false, "Feche toda janela"},
        {"a full disk retried forever or called a success",
         [](auto& s, auto&, auto& b) { s.diskSpace = b.size() - 1; }, 6, false, true,
         "não há espaço"},
        {"a package that cannot be removed taken for a failure",
         [](fake::FakeSystem& s, Host&, const std::string& b) {
             s.putFile(kPackage, b, With(&fake::File::readOnlyMedia));
         },
         0, true, true, "não pôde ser removido"},
        {"an updater run beside another", {}, 1618, false, true, "Outro atualizador", true},
        {"an unexpected error not ending with 1",
         [](auto& s, auto&, auto&) {
             s.whileCopying = [] { throw platform::SystemError("x", 5); };
         },
         1, false, true, "erro inesperado"},
    };
#ifdef _WIN32
    const auto maker = crypto::MakeSystemProvider(), updater = crypto::MakeSystemProvider();
#else
    // The updater's first use of the cipher on an account makes its key
    // container, and says so.
    const auto keys = std::filesystem::path(::testing::TempDir()) / "atualizador-unattended-keys";
    std::filesystem::remove_all(keys / "updater");
    const auto maker = std::make_unique<crypto::OpenSslProvider>(keys / "maker");
    const auto updater = std::make_unique<crypto::OpenSslProvider>(keys / "updater");
    bool firstUse = true;
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem sys;
        Host host;
        const std::string oldBytes = db::BuildPackage(*maker, sys, "XDB9", 9, "velho");
        const std::string newBytes = db::BuildPackage(*maker, sys, "XDB10", 10, "novo");
        sys.setRegistryString(kKey, "DB", kInstalled);
        sys.putFile(kInstalled, oldBytes);
        sys.putFile(kPackage, newBytes);
        sys.messages.clear();
        if (c.setUp) c.setUp(sys, host, newBytes);
        const std::string before = sys.contents(kInstalled);
        app::UnattendedAnswers answers(host);
        try {
            app::RunUnattended(sys, answers, *updater, c.othersRunning);
        } catch (const Exited& e) {
            EXPECT_EQ(e.code, c.code);
        } catch (...) {  // as the program's top level does
            EXPECT_THROW(app::ReportFatal(answers, std::current_exception()), Exited);
        }
        ASSERT_FALSE(host.lines.empty());
        EXPECT_EQ(host.lines.back(), "Código de saída: " + std::to_string(c.code));
        bool found = false;
        for (const auto& line : host.lines) found = found || line.find(c.logged) != npos;
        EXPECT_TRUE(found) << c.logged;
#ifndef _WIN32
        EXPECT_TRUE(!std::exchange(firstUse, false) || host.lines[1].find("key container") != npos);
#endif
        EXPECT_EQ(sys.contents(kInstalled), c.installed ? newBytes : before);
        EXPECT_EQ(sys.exists(kPackage), c.packageKept);
        EXPECT_TRUE(!sys.anyStaged() || c.code == 1);  // the fake's copy is not let go of
        // Nothing shown, started, registered or restarted.
        EXPECT_TRUE(sys.messages.empty() && sys.started.empty() && sys.rebootDeletes.empty());
        EXPECT_EQ(sys.reboots, 0);
    }
}

}  // namespace
