#include <gtest/gtest.h>

#include <string>

#include "FakeSystem.h"
#include "app/HandOff.h"
#include "app/HandOffCommands.h"
#include "app/StartUp.h"
#include "platform/SystemError.h"

namespace {

using platform::WindowStyle;

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

class FinishUpdateTest : public ::testing::Test {
  protected:
    static constexpr const char* kOwn = "D:\\Update\\Atualizador.exe";
    static constexpr const char* kDb = "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb";
    static constexpr const char* kIni = "C:\\WINDOWS\\wininit.ini";

    void SetUp() override {
        sys.exeFolder = "D:\\Update";
        sys.putFile(kOwn, "MZ updater");
        sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB", kDb);
    }

    // Runs the hand-off, which must end the program one way or the other.
    void finish(bool startRemover) {
        EXPECT_THROW(app::FinishUpdate(sys, sys, startRemover), fake::ProgramEnded);
    }

    fake::FakeSystem sys;
};

TEST_F(FinishUpdateTest, StartsRemoverThenHandsOffToCopyAtDriveRoot) {
    finish(true);

    ASSERT_EQ(sys.started.size(), 2u);
    EXPECT_EQ(sys.started[0].commandLine,
              "\"C:\\Program Files\\Holmcrest\\Varnel R40\\removedor.exe\" /!");
    EXPECT_EQ(sys.started[0].style, WindowStyle::NormalFocus);
    EXPECT_EQ(sys.started[1].commandLine, "\"C:\\Atualizador.exe\" /!D:\\Update\\Atualizador.exe");
    EXPECT_EQ(sys.started[1].style, WindowStyle::MinimizedFocus);

    EXPECT_EQ(sys.contents("C:\\Atualizador.exe"), "MZ updater");
    EXPECT_TRUE(sys.exists(kOwn));  // the cleanup instance deletes it, not we
    EXPECT_EQ(sys.contents(kIni), "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n");
    EXPECT_EQ(sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador.exe"});
    // Events are let through between registering the copy and starting it.
    EXPECT_EQ(sys.pendingEventsProcessed, 1);
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(FinishUpdateTest, UntickedCheckBoxNeitherReadsRegistryNorStartsRemover) {
    finish(false);
    EXPECT_TRUE(sys.registryReads.empty());
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.started[0].commandLine, "\"C:\\Atualizador.exe\" /!D:\\Update\\Atualizador.exe");
}

TEST_F(FinishUpdateTest, TakenNamesLeadToTheFirstFreeOne) {
    // Ordinary files are seen by the existence test; a hidden file is not,
    // and is found only when the copy refuses to overwrite it.
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "ordinary");
        fake::File occupant;
        occupant.hidden = hidden;
        fake::FakeSystem fresh;
        fresh.exeFolder = "D:\\Update";
        fresh.putFile(kOwn, "MZ updater");
        fresh.putFile("C:\\Atualizador.exe", "someone else's", occupant);
        fresh.putFile("C:\\Atualizador0.exe", "someone else's", occupant);

        EXPECT_THROW(app::FinishUpdate(fresh, fresh, false), fake::ProgramEnded);

        EXPECT_EQ(fresh.contents("C:\\Atualizador.exe"), "someone else's");
        EXPECT_EQ(fresh.contents("C:\\Atualizador0.exe"), "someone else's");
        EXPECT_EQ(fresh.contents("C:\\Atualizador00.exe"), "MZ updater");
        EXPECT_EQ(fresh.rebootDeletes, std::vector<std::string>{"C:\\Atualizador00.exe"});
        ASSERT_EQ(fresh.started.size(), 1u);
        EXPECT_EQ(fresh.started[0].commandLine,
                  "\"C:\\Atualizador00.exe\" /!D:\\Update\\Atualizador.exe");
    }
}

TEST_F(FinishUpdateTest, ProgramNamedOtherwiseCopiesUnderItsOwnName) {
    sys.exeFolder = "D:\\";
    sys.exeTitle = "update";
    sys.putFile("D:\\update.exe", "MZ renamed");
    finish(false);
    EXPECT_EQ(sys.contents("C:\\update.exe"), "MZ renamed");
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.started[0].commandLine, "\"C:\\update.exe\" /!D:\\update.exe");
}

TEST_F(FinishUpdateTest, FailedCopyRegistersAndStartsNothing) {
    sys.failCopiesWith = 5;  // no write access to the drive root
    try {
        app::FinishUpdate(sys, sys, false);
        FAIL() << "the hand-off went on without its copy";
    } catch (const platform::SystemError& e) {
        EXPECT_EQ(e.code(), 5u);
    }
    EXPECT_TRUE(sys.started.empty());
    EXPECT_FALSE(sys.exists(kIni));
    EXPECT_TRUE(sys.rebootDeletes.empty());
    EXPECT_FALSE(sys.ended);
}

TEST_F(FinishUpdateTest, CleanupStartIsRetriedOnceAfterPendingEvents) {
    sys.failStarts = 1;
    finish(false);
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.started[0].style, WindowStyle::MinimizedFocus);
    EXPECT_EQ(sys.pendingEventsProcessed, 2);
}

TEST_F(FinishUpdateTest, SecondFailedStartIsReportedAndTheUnusedCopyRemoved) {
    sys.failStarts = 2;
    EXPECT_THROW(app::FinishUpdate(sys, sys, false), platform::SystemError);
    EXPECT_TRUE(sys.started.empty());
    EXPECT_FALSE(sys.exists("C:\\Atualizador.exe"));
    EXPECT_TRUE(sys.exists(kOwn));
    EXPECT_FALSE(sys.ended);
}

TEST_F(FinishUpdateTest, FailedRemoverStartStopsBeforeAnyCopy) {
    sys.failStartsWith = 2;
    EXPECT_THROW(app::FinishUpdate(sys, sys, true), platform::SystemError);
    EXPECT_FALSE(sys.exists("C:\\Atualizador.exe"));
    EXPECT_FALSE(sys.exists(kIni));
}

TEST_F(FinishUpdateTest, RefusedDeletionAtRebootIsNoError) {
    sys.deleteAtRebootAccepted = false;
    finish(false);
    EXPECT_EQ(sys.started.size(), 1u);
    EXPECT_TRUE(sys.exists(kIni));
}

}  // namespace
