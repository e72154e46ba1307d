#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeSystem.h"
#include "app/HandOff.h"
#include "app/HandOffCommands.h"
#include "app/StartUp.h"
#include "platform/SystemError.h"

namespace {

using fake::File;
using platform::WindowStyle;

File With(bool File::*attribute) {
    File f;
    f.*attribute = true;
    return f;
}

TEST(HandOffCommands, PathsAndCommandLines) {
    using namespace app::handoff;
    // A folder that is a drive root must not get a second backslash.
    EXPECT_EQ(OwnPath("D:\\Update", "Atualizador"), "D:\\Update\\Atualizador.exe");
    EXPECT_EQ(OwnPath("D:\\", "Atualizador"), "D:\\Atualizador.exe");
    EXPECT_EQ(OwnPath("D:\\Update", "update"), "D:\\Update\\update.exe");

    // Only the drive root of the Windows directory is used, wherever Windows is.
    EXPECT_EQ(FirstCopyCandidate("C:\\WINDOWS", "Atualizador"), "C:\\Atualizador.exe");
    EXPECT_EQ(FirstCopyCandidate("E:\\", "update"), "E:\\update.exe");
    EXPECT_EQ(NextCopyCandidate("C:\\Atualizador.exe"), "C:\\Atualizador0.exe");
    EXPECT_EQ(NextCopyCandidate("C:\\Atualizador0.exe"), "C:\\Atualizador00.exe");

    // The program path is quoted; "/!" is followed directly by the path.
    EXPECT_EQ(CleanupCommandLine("C:\\Atualizador.exe", "D:\\Update\\Atualizador.exe"),
              "\"C:\\Atualizador.exe\" /!D:\\Update\\Atualizador.exe");
    EXPECT_EQ(CleanupCommandLine("C:\\Atualizador.exe", "D:\\Atualizador.exe"),
              "\"C:\\Atualizador.exe\" /!D:\\Atualizador.exe");
    EXPECT_EQ(RemoverCommandLine("C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb"),
              "\"C:\\Program Files\\Holmcrest\\Varnel R40\\removedor.exe\" /!");
}

// What the copy's runtime hands it as argument text: everything after the
// quoted program path.
std::string ArgumentsAfterProgram(const std::string& commandLine) {
    return commandLine.substr(commandLine.find('"', 1) + 1);
}

TEST(HandOffCommands, CleanupInstanceReadsBackTheExactOwnPath) {
    for (const char* own : {"D:\\Update\\Atualizador.exe", "D:\\Atualizador.exe",
                            "C:\\Meus Arquivos\\Nova pasta\\Atualizador.exe"}) {
        SCOPED_TRACE(own);
        const std::string line = app::handoff::CleanupCommandLine("C:\\Atualizador 0.exe", own);
        const app::StartUp startUp = app::ParseStartUp(ArgumentsAfterProgram(line));
        EXPECT_EQ(startUp.mode, app::StartUp::Mode::Cleanup);
        EXPECT_EQ(startUp.path, own);
    }
}

// An updater at D:\Update with the product installed on C:.
void Arrange(fake::FakeSystem& sys) {
    sys.exeFolder = "D:\\Update";
    sys.putFile("D:\\Update\\Atualizador.exe", "MZ updater");
    sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB",
                          "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb");
}

constexpr const char* kOwn = "D:\\Update\\Atualizador.exe";
constexpr const char* kCleanupLine = "\"C:\\Atualizador.exe\" /!D:\\Update\\Atualizador.exe";

// The updater as it runs: its executable held since start-up.
struct Updater {
    Updater() {
        Arrange(sys);
        std::uint32_t error = 0;
        self = sys.holdExecutable(error);
    }
    void Finish(bool startRemover = false) { app::FinishUpdate(sys, sys, *self, startRemover); }

    fake::FakeSystem sys;
    std::unique_ptr<platform::HeldFile> self;
};

class FinishUpdateTest : public ::testing::Test, protected Updater {};

TEST_F(FinishUpdateTest, StartsRemoverThenHandsOffToCopyAtDriveRoot) {
    EXPECT_THROW(Finish(true), fake::ProgramEnded);

    ASSERT_EQ(sys.started.size(), 2u);
    EXPECT_EQ(sys.started[0].commandLine,
              "\"C:\\Program Files\\Holmcrest\\Varnel R40\\removedor.exe\" /!");
    EXPECT_EQ(sys.started[0].style, WindowStyle::NormalFocus);
    EXPECT_EQ(sys.started[1].commandLine, kCleanupLine);
    EXPECT_EQ(sys.started[1].style, WindowStyle::MinimizedFocus);

    EXPECT_EQ(sys.contents("C:\\Atualizador.exe"), "MZ updater");
    EXPECT_TRUE(sys.exists(kOwn));  // the cleanup instance deletes it, not we
    EXPECT_EQ(sys.contents("C:\\WINDOWS\\wininit.ini"),
              "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n");
    EXPECT_EQ(sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador.exe"});
    EXPECT_EQ(sys.pendingEventsProcessed, 1);
}

TEST_F(FinishUpdateTest, UntickedCheckBoxNeitherReadsRegistryNorStartsRemover) {
    EXPECT_THROW(Finish(false), fake::ProgramEnded);
    EXPECT_TRUE(sys.registryReads.empty());
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.started[0].commandLine, kCleanupLine);
}

TEST_F(FinishUpdateTest, CleanupStartIsRetriedOnceAfterPendingEvents) {
    sys.failStarts = 1;
    EXPECT_THROW(Finish(), fake::ProgramEnded);
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.pendingEventsProcessed, 2);
}

// Another program renames the running executable and puts its own at that
// path: the copy that runs as administrator must still be the updater.
TEST_F(FinishUpdateTest, CopiesTheExecutableHeldSinceStartUpNotWhatIsAtItsPathNow) {
    sys.putFile(kOwn, "MZ someone else's program");
    EXPECT_THROW(Finish(), fake::ProgramEnded);
    EXPECT_EQ(sys.contents("C:\\Atualizador.exe"), "MZ updater");
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
        EXPECT_EQ(u.sys.started[0].commandLine,
                  "\"C:\\Atualizador00.exe\" /!D:\\Update\\Atualizador.exe");
    }
}

// What a failed hand-off leaves: never a copy that no order deletes, and
// never an order naming a file that is gone (another file could take the
// name before the restart, and be deleted then).
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
             s.putFile("C:\\WINDOWS\\wininit.ini", "", With(&File::locked));
         },
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
