// "Finalizar": the remover, the copy at the drive root, its deletion orders
// and the cleanup instance it starts, over the in-memory platform.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeSystem.h"
#include "app/AtualizadorTexts.h"
#include "app/HandOff.h"
#include "app/HandOffCommands.h"
#include "app/StartUp.h"
#include "platform/SystemError.h"

namespace {

using platform::WindowStyle;
namespace handoff = app::handoff;

constexpr const char* kOwn = "D:\\Update\\Atualizador.exe";

TEST(HandOffCommands, PathsAndCommandLines) {
    // A folder that is a drive root must not get a second backslash.
    EXPECT_EQ(handoff::OwnPath("D:\\Update", "update"), "D:\\Update\\update.exe");
    EXPECT_EQ(handoff::OwnPath("D:\\", "Atualizador"), "D:\\Atualizador.exe");
    // Only the drive root of the Windows directory is used, wherever Windows is.
    EXPECT_EQ(handoff::FirstCopyCandidate("C:\\WINDOWS", "Atualizador"), "C:\\Atualizador.exe");
    EXPECT_EQ(handoff::FirstCopyCandidate("E:\\", "update"), "E:\\update.exe");
    EXPECT_EQ(handoff::NextCopyCandidate("C:\\Atualizador0.exe"), "C:\\Atualizador00.exe");
    EXPECT_EQ(handoff::RemoverCommandLine("C:\\Program Files\\Varnel R40\\db.xdb"),
              "\"C:\\Program Files\\Varnel R40\\removedor.exe\" /!");
    // The cleanup copy reads back exactly the path it was given, spaces and
    // all: what its runtime hands it is what follows the quoted program.
    for (const char* own : {"D:\\Atualizador.exe", "C:\\Meus Arquivos\\Nova pasta\\A.exe"}) {
        const std::string line = handoff::CleanupCommandLine("C:\\Atualizador 0.exe", own);
        EXPECT_EQ(line, "\"C:\\Atualizador 0.exe\" /!" + std::string(own));
        const app::StartUp startUp = app::ParseStartUp(line.substr(line.find('"', 1) + 1));
        EXPECT_EQ(startUp.mode, app::StartUp::Mode::Cleanup);
        EXPECT_EQ(startUp.path, own);
    }
}

// An updater at D:\Update with the product installed on C:, its executable
// held since start-up, as it runs.
struct Updater {
    Updater() {
        sys.exeFolder = "D:\\Update";
        sys.image = "MZ updater";
        sys.putFile(kOwn, sys.image);
        sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB",
                              "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb");
        std::uint32_t error = 0;
        self = sys.holdExecutable(error);
    }
    void Finish(bool startRemover = false) { app::FinishUpdate(sys, sys, *self, startRemover); }

    fake::FakeSystem sys;
    std::unique_ptr<platform::HeldFile> self;
};

// The copy is the updater as it was started (not what another program has
// put at its path since), the administrators' alone from its making, with
// both deletion orders; the remover runs first, when asked.
TEST(FinishUpdate, StartsTheRemoverThenHandsOffToAProtectedCopyAtTheDriveRoot) {
    Updater u;
    u.sys.putFile(kOwn, "MZ someone else's program");
    EXPECT_THROW(u.Finish(true), fake::ProgramEnded);

    ASSERT_EQ(u.sys.started.size(), 2u);
    EXPECT_EQ(u.sys.started[0].commandLine,
              "\"C:\\Program Files\\Holmcrest\\Varnel R40\\removedor.exe\" /!");
    EXPECT_EQ(u.sys.started[0].style, WindowStyle::NormalFocus);
    EXPECT_EQ(u.sys.started[1].commandLine, "\"C:\\Atualizador.exe\" /!" + std::string(kOwn));
    EXPECT_EQ(u.sys.started[1].style, WindowStyle::MinimizedFocus);

    EXPECT_EQ(u.sys.contents("C:\\Atualizador.exe"), "MZ updater");
    EXPECT_EQ(u.sys.file("C:\\Atualizador.exe")->access, platform::FileAccess::AdministratorsOnly);
    EXPECT_TRUE(u.sys.exists(kOwn));  // the cleanup instance deletes it, not we
    EXPECT_EQ(u.sys.contents("C:\\WINDOWS\\wininit.ini"),
              "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n");
    EXPECT_EQ(u.sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador.exe"});
}

// Another program put at the updater's name before it was held is neither
// copied, registered nor started, and neither is the remover.
TEST(FinishUpdate, AHeldFileThatIsNotTheRunningProgramIsNeitherCopiedNorStarted) {
    Updater u;
    u.sys.image = "MZ the program that runs";
    EXPECT_THROW(u.Finish(true), fake::ProgramEnded);
    ASSERT_EQ(u.sys.messages.size(), 1u);
    EXPECT_EQ(u.sys.messages[0].text, app::atualizador_texts::kUpdaterChangedText);
    EXPECT_TRUE(u.sys.started.empty() && u.sys.copiesMade == 0 && u.sys.rebootDeletes.empty());
}

TEST(FinishUpdate, UntickedCheckBoxNeitherReadsTheRegistryNorStartsTheRemover) {
    Updater u;
    EXPECT_THROW(u.Finish(false), fake::ProgramEnded);
    EXPECT_TRUE(u.sys.registryReads.empty());
    ASSERT_EQ(u.sys.started.size(), 1u);
}

TEST(FinishUpdate, TheCleanupStartIsRetriedOnceAfterPendingEvents) {
    Updater u;
    u.sys.failStarts = 1;
    EXPECT_THROW(u.Finish(), fake::ProgramEnded);
    ASSERT_EQ(u.sys.started.size(), 1u);
    EXPECT_EQ(u.sys.pendingEventsProcessed, 2);
}

TEST(FinishUpdate, TakenNamesLeadToTheFirstFreeOne) {
    // Ordinary files are seen by the existence test; a hidden file is not,
    // and is found only when the copy refuses to be made over it.
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "ordinary");
        Updater u;
        fake::File occupant;
        occupant.hidden = hidden;
        u.sys.putFile("C:\\Atualizador.exe", "someone else's", occupant);
        u.sys.putFile("C:\\Atualizador0.exe", "someone else's", occupant);
        EXPECT_THROW(u.Finish(), fake::ProgramEnded);
        EXPECT_EQ(u.sys.contents("C:\\Atualizador.exe"), "someone else's");
        EXPECT_EQ(u.sys.contents("C:\\Atualizador0.exe"), "someone else's");
        EXPECT_EQ(u.sys.contents("C:\\Atualizador00.exe"), "MZ updater");
        EXPECT_EQ(u.sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador00.exe"});
        ASSERT_EQ(u.sys.started.size(), 1u);
        EXPECT_EQ(u.sys.started[0].commandLine, "\"C:\\Atualizador00.exe\" /!" + std::string(kOwn));
    }
}

// What a failed hand-off leaves: never a copy that no order deletes, and
// never a system's order naming a file that is gone (another file could
// take the name before the restart, and be deleted then).
TEST(FinishUpdate, FailuresAreReportedAndEveryCopyLeftHasItsDeletionOrder) {
    struct Case {
        const char* name;
        void (*arrange)(fake::FakeSystem&);
        bool startRemover;
        bool copyLeft;
    };
    const Case cases[] = {
        {"remover cannot start", [](fake::FakeSystem& s) { s.failStartsWith = 2; }, true, false},
        {"drive root not writable", [](fake::FakeSystem& s) { s.failCopiesWith = 5; }, false,
         false},
        {"wininit.ini cannot be written",
         [](fake::FakeSystem& s) {
             fake::File locked;
             locked.locked = true;
             s.putFile("C:\\WINDOWS\\wininit.ini", "", locked);
         },
         false, false},
        {"the system refuses the order", [](fake::FakeSystem& s) { s.deleteAtRebootError = 5; },
         false, false},
        {"copy cannot start twice", [](fake::FakeSystem& s) { s.failStarts = 2; }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Updater u;
        c.arrange(u.sys);
        // The top-level handler reports it; the program has not ended here.
        EXPECT_THROW(u.Finish(c.startRemover), platform::SystemError);
        EXPECT_FALSE(u.sys.ended);
        EXPECT_TRUE(u.sys.started.empty());
        EXPECT_EQ(u.sys.exists("C:\\Atualizador.exe"), c.copyLeft);
        EXPECT_EQ(u.sys.rebootDeletes.size(), c.copyLeft ? 1u : 0u);
        EXPECT_TRUE(u.sys.exists(kOwn));
    }
}

}  // namespace
