// The unattended mode's answers to the wizard's questions over the in-memory
// platform, where no road under Wine reaches them (every exit code is seen
// there, in e2e/unattended_test.py).
#include <functional>

#include "WizardRoad.h"
#include "app/Fatal.h"
#include "app/Unattended.h"
#include "platform/SystemError.h"

namespace {

using namespace road;

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
    const struct {
        const char* fault;
        std::function<void(Road&, Host&)> set;
        int code;
        bool installed, packageKept;  // else the old database, and the package gone
        const char* logged;
    } cases[] = {
        {"the reinstall question not answered Yes", [](Road& r, Host&) { r.registered(); }, 0, true,
         false, "inexistente"},
        {"a database in use not waited for a minute, or for longer",
         [](Road& r, Host&) { r.installed(With(&File::locked)); }, 1618, false, true,
         "Feche toda janela"},
        {"a database let go of within the minute not installed",
         [](Road& r, Host& h) {
             r.installed(With(&File::locked));
             h.onMinuteEnd = [&r] { r.sys.putFile(kInstalled, "velho"); };
         },
         0, true, false, "Feche toda janela"},
        {"a package that cannot be removed taken for a failure",
         [](Road& r, Host&) {
             r.installed();
             r.sys.putFile(kPackage, r.package("XDB10"), With(&File::readOnlyMedia));
         },
         0, true, true, "não pôde ser removido"},
        {"an unexpected error not ending with 1",
         [](Road& r, Host&) {
             r.installed();
             r.sys.whileCopying = [] { throw platform::SystemError("x", 5); };
         },
         1, false, true, "erro inesperado"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Road r;
        Host host;
        r.sys.putFolder("C:\\Varnel");
        if (!r.sys.exists(kPackage)) r.sys.putFile(kPackage, r.package("XDB10"));
        c.set(r, host);
        const std::string newBytes = r.sys.contents(kPackage);
        const std::string before = r.sys.exists(kInstalled) ? r.sys.contents(kInstalled) : "";
        r.sys.messages.clear();
        app::UnattendedAnswers answers(host);
        try {
            app::RunUnattended(r.sys, answers, r.provider, false);
        } catch (const Exited&) {
        } catch (...) {  // as the program's top level does
            EXPECT_THROW(app::ReportFatal(answers, std::current_exception()), Exited);
        }
        EXPECT_NE(host.text.find(c.logged), std::string::npos) << host.text;
        EXPECT_TRUE(host.text.ends_with("Código de saída: " + std::to_string(c.code) + '\n'));
        EXPECT_EQ(r.sys.exists(kInstalled) ? r.sys.contents(kInstalled) : "",
                  c.installed ? newBytes : before);
        EXPECT_EQ(r.sys.exists(kPackage), c.packageKept);
        EXPECT_TRUE(!r.sys.anyStaged() || c.code == 1);  // the fake lets go of no failed copy
        // Nothing shown, started, registered or restarted.
        EXPECT_TRUE(r.sys.messages.empty() && r.sys.started.empty() &&
                    r.sys.rebootDeletes.empty() && r.sys.reboots == 0);
    }
}

}  // namespace
