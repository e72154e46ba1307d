// The unattended mode's answers to the wizard's questions over the in-memory
// platform (every exit code is seen under Wine, in e2e/unattended_test.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "FakeSystem.h"
#include "app/Fatal.h"
#include "app/Unattended.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#endif
#include "db/Database.h"
#include "platform/SystemError.h"

namespace {

constexpr const char* kInstalled = "C:\\Varnel\\db.xdb";
constexpr const char* kPackage = "C:\\Update\\db.xdb";

struct Exited {};

struct Host final : platform::UnattendedHost {
    void log(std::string_view line) noexcept override { text += std::string(line) + '\n'; }
    std::uint64_t milliseconds() override { return now; }
    void sleep(std::uint32_t ms) override {
        EXPECT_TRUE(ms == 500 && now < 60000);  // every half second, for a minute
        now += ms;
        if (now == 59500 && onMinuteEnd) onMinuteEnd();
    }
    [[noreturn]] void exit(int) override { throw Exited{}; }
    std::string text;
    std::uint64_t now = 0;
    std::function<void()> onMinuteEnd;
};

TEST(Unattended, EveryOutcomeHasItsCodeItsFilesAndItsLogAndNoBox) {
    using Set = std::function<void(fake::FakeSystem&, Host&)>;
    // The file at `path` as it is, with `attribute` set.
    const auto with = [](const char* path, bool fake::File::*attribute) {
        return [=](fake::FakeSystem& s, Host&) {
            fake::File f;
            f.*attribute = true;
            s.putFile(path, s.contents(path), f);
        };
    };
    const struct {
        const char* fault;
        Set set;
        int code;
        bool installed, packageKept;  // else the old database, and the package gone
        const char* logged;
    } cases[] = {
        {"an installation not done", {}, 0, true, false, "atualizado com sucesso"},
        {"the reinstall question not answered Yes",
         [](auto& s, auto&) {
             std::uint32_t e = 0;
             s.holdToRemove(kInstalled, e)->remove();
         },
         0, true, false, "inexistente"},
        {"a database in use not waited for a minute", with(kInstalled, &fake::File::locked), 1618,
         false, true, "Feche toda janela"},
        {"a database let go of within the minute not installed",
         [&](fake::FakeSystem& s, Host& h) {
             with(kInstalled, &fake::File::locked)(s, h);
             h.onMinuteEnd = [&s] { s.putFile(kInstalled, "velho"); };
         },
         0, true, false, "Feche toda janela"},
        {"a package that cannot be removed taken for a failure",
         with(kPackage, &fake::File::readOnlyMedia), 0, true, true, "não pôde ser removido"},
        {"an unexpected error not ending with 1",
         [](auto& s, auto&) { s.whileCopying = [] { throw platform::SystemError("x", 5); }; }, 1,
         false, true, "erro inesperado"},
    };
#ifdef _WIN32
    const auto provider = crypto::MakeSystemProvider();
#else
    const auto provider = std::make_unique<crypto::OpenSslProvider>(
        std::filesystem::path(::testing::TempDir()) / "atualizador-unattended-keys");
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        fake::FakeSystem sys;
        Host host;
        const std::string oldBytes = db::BuildPackage(*provider, sys, "XDB9", 9, "velho");
        const std::string newBytes = db::BuildPackage(*provider, sys, "XDB10", 10, "novo");
        sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB", kInstalled);
        sys.putFile(kInstalled, oldBytes);
        sys.putFile(kPackage, newBytes);
        if (c.set) c.set(sys, host);
        sys.messages.clear();
        const std::string before = sys.contents(kInstalled);
        app::UnattendedAnswers answers(host);
        try {
            app::RunUnattended(sys, answers, *provider, false);
        } catch (const Exited&) {
        } catch (...) {  // as the program's top level does
            EXPECT_THROW(app::ReportFatal(answers, std::current_exception()), Exited);
        }
        EXPECT_NE(host.text.find(c.logged), std::string::npos) << host.text;
        EXPECT_TRUE(host.text.ends_with("Código de saída: " + std::to_string(c.code) + '\n'));
        EXPECT_EQ(sys.contents(kInstalled), c.installed ? newBytes : before);
        EXPECT_EQ(sys.exists(kPackage), c.packageKept);
        EXPECT_TRUE(!sys.anyStaged() || c.code == 1);  // the fake lets go of no failed copy
        // Nothing shown, started, registered or restarted.
        EXPECT_TRUE(sys.messages.empty() && sys.started.empty() && sys.rebootDeletes.empty() &&
                    sys.reboots == 0);
    }
}

}  // namespace
