// The unattended mode's answers to the wizard's questions over the in-memory
// platform, where no road under Wine reaches them (every exit code is seen
// there, in e2e/unattended_test.py).
#include "app/Unattended.h"
#include "WizardRoad.h"

namespace {

using namespace road;

struct Exited {};

struct Host final : platform::UnattendedHost {
    void log(std::string_view line) noexcept override { text += std::string(line) + '\n'; }
    std::uint64_t milliseconds() override { return now; }
    void sleep(std::uint32_t ms) override {
        EXPECT_TRUE(ms == 500 && now < 60000);  // every half second, for a minute
        now += ms;
    }
    [[noreturn]] void exit(int) override { throw Exited{}; }
    std::string text;
    std::uint64_t now = 0;
};

// Faults: the reinstall question answered No, a database in use waited for
// half a second too long.
TEST(Unattended, EveryOutcomeHasItsCodeItsFilesAndItsLogAndNoBox) {
    const struct {
        const char* name;
        void (*set)(Road&);
        int code;
        bool installed, packageKept;  // else the old database, and the package gone
        const char* logged;
    } cases[] = {
        {"reinstalled", [](Road& r) { r.registered(); }, 0, true, false, "inexistente"},
        {"in use for a minute", [](Road& r) { r.installed(With(&File::locked)); }, 1618, false,
         true, "Feche toda janela"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Road r;
        Host host;
        r.sys.putFolder("C:\\Varnel");
        r.sys.putFile(kPackage, r.package("XDB10"));
        c.set(r);
        const std::string newBytes = r.sys.contents(kPackage);
        const std::string before = r.sys.contents(kInstalled);
        r.sys.messages.clear();
        app::UnattendedAnswers answers(host);
        EXPECT_THROW(app::RunUnattended(r.sys, answers, r.provider, false), Exited);
        EXPECT_NE(host.text.find(c.logged), std::string::npos) << host.text;
        EXPECT_TRUE(host.text.ends_with("Código de saída: " + std::to_string(c.code) + '\n'));
        EXPECT_EQ(r.sys.contents(kInstalled), c.installed ? newBytes : before);
        EXPECT_EQ(r.sys.exists(kPackage), c.packageKept);
        EXPECT_FALSE(r.sys.anyStaged());
        // Nothing shown, started, registered or restarted.
        EXPECT_TRUE(r.sys.messages.empty() && r.sys.started.empty() &&
                    r.sys.rebootDeletes.empty() && r.sys.reboots == 0);
    }
}

}  // namespace
