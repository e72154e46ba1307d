// "Finalizar": the remover, the copy at the drive root, its deletion orders
// and the cleanup instance it starts, over the in-memory platform.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeSystem.h"
#include "app/HandOff.h"
#include "platform/SystemError.h"

namespace {

constexpr const char* kOwn = "D:\\Update\\Atualizador.exe";

// An updater at D:\Update with the product installed on C:, its executable
// held since start-up, as it runs.
struct Updater {
    Updater() {
        sys.exeFolder = "D:\\Update";
        sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB",
                              "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb");
        std::uint32_t error = 0;
        self = sys.holdExecutable(error);
    }
    void Finish(bool startRemover = false) { app::FinishUpdate(sys, sys, *self, startRemover); }

    fake::FakeSystem sys;
    std::unique_ptr<platform::HeldFile> self;
};

// Faults: the copy open to every account, made from what another program
// has put at the updater's path since, without its deletion orders; the
// remover's folder cut at the first backslash.
TEST(FinishUpdate, StartsTheRemoverThenHandsOffToAProtectedCopyAtTheDriveRoot) {
    Updater u;
    u.sys.putFile(kOwn, "MZ someone else's program");
    EXPECT_THROW(u.Finish(true), fake::ProgramEnded);

    ASSERT_EQ(u.sys.started.size(), 2u);
    EXPECT_EQ(u.sys.started[0], "\"C:\\Program Files\\Holmcrest\\Varnel R40\\removedor.exe\" /!");
    EXPECT_EQ(u.sys.started[1], "\"C:\\Atualizador.exe\" /!" + std::string(kOwn));

    EXPECT_EQ(u.sys.contents("C:\\Atualizador.exe"), u.sys.image);
    EXPECT_EQ(u.sys.file("C:\\Atualizador.exe")->access, platform::FileAccess::AdministratorsOnly);
    EXPECT_TRUE(u.sys.exists(kOwn));  // the cleanup instance deletes it, not we
    EXPECT_EQ(u.sys.contents("C:\\WINDOWS\\wininit.ini"),
              "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n");
    EXPECT_EQ(u.sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador.exe"});
}

// Fault: another program put at the updater's name before it was held
// copied and started as administrator.
TEST(FinishUpdate, AHeldFileThatIsNotTheRunningProgramIsNeitherCopiedNorStarted) {
    Updater u;
    u.sys.image = "MZ the program that runs";
    EXPECT_THROW(u.Finish(true), fake::ProgramEnded);
    EXPECT_EQ(u.sys.messages.size(), 1u);
    EXPECT_TRUE(u.sys.started.empty() && u.sys.copiesMade == 0 && u.sys.rebootDeletes.empty());
}

// Faults: the cleanup start not retried after pending events; the remover
// started with the check box unticked.
TEST(FinishUpdate, TheCleanupStartIsRetriedOnceAfterPendingEvents) {
    Updater u;
    int pendingEvents = 0;
    u.sys.onPendingEvents = [&] { ++pendingEvents; };
    u.sys.failStarts = 1;
    EXPECT_THROW(u.Finish(false), fake::ProgramEnded);
    ASSERT_EQ(u.sys.started.size(), 1u);
    EXPECT_EQ(pendingEvents, 2);
}

// Fault: the next name off by one, or a taken name (seen, or hidden and
// refused by the copy) overwritten.
TEST(FinishUpdate, TakenNamesLeadToTheFirstFreeOne) {
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "ordinary");
        Updater u;
        const fake::File occupant = fake::With(hidden ? &fake::File::hidden : nullptr);
        u.sys.putFile("C:\\Atualizador.exe", "someone else's", occupant);
        u.sys.putFile("C:\\Atualizador0.exe", "someone else's", occupant);
        EXPECT_THROW(u.Finish(), fake::ProgramEnded);
        EXPECT_EQ(u.sys.contents("C:\\Atualizador.exe"), "someone else's");
        EXPECT_EQ(u.sys.contents("C:\\Atualizador0.exe"), "someone else's");
        EXPECT_EQ(u.sys.contents("C:\\Atualizador00.exe"), u.sys.image);
        EXPECT_EQ(u.sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador00.exe"});
    }
}

// Faults: a copy left that no order deletes, a refused order ignored, an
// order left naming a file that is gone (another could take the name).
TEST(FinishUpdate, FailuresAreReportedAndEveryCopyLeftHasItsDeletionOrder) {
    const struct {
        const char* name;
        void (*arrange)(fake::FakeSystem&);
        bool remover, copyLeft;
    } cases[] = {
        {"remover cannot start", [](fake::FakeSystem& s) { s.failStarts = 1; }, true, false},
        {"drive root full", [](fake::FakeSystem& s) { s.diskSpace = 0; }, false, false},
        {"wininit.ini cannot be written",
         [](fake::FakeSystem& s) {
             s.putFile("C:\\WINDOWS\\wininit.ini", "", fake::With(&fake::File::locked));
         },
         false, false},
        {"the system refuses the order", [](fake::FakeSystem& s) { s.deleteAtRebootError = 5; },
         false, false},
        {"copy cannot start twice", [](fake::FakeSystem& s) { s.failStarts = 2; }, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Updater u;
        c.arrange(u.sys);
        // The top-level handler reports it; the program has not ended here.
        EXPECT_THROW(u.Finish(c.remover), platform::SystemError);
        EXPECT_FALSE(u.sys.ended);
        EXPECT_TRUE(u.sys.started.empty());
        EXPECT_EQ(u.sys.exists("C:\\Atualizador.exe"), c.copyLeft);
        EXPECT_EQ(u.sys.rebootDeletes.size(), c.copyLeft ? 1u : 0u);
        EXPECT_TRUE(u.sys.exists(kOwn));
    }
}

}  // namespace
