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

// An updater at D:\Update with the product installed on C:.
void Arrange(fake::FakeSystem& sys) {
    sys.exeFolder = "D:\\Update";
    sys.putFile("D:\\Update\\Atualizador.exe", "MZ updater");
    sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB",
                          "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb");
}

constexpr const char* kOwn = "D:\\Update\\Atualizador.exe";
constexpr const char* kCleanupLine = "\"C:\\Atualizador.exe\" /!D:\\Update\\Atualizador.exe";

class FinishUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override { Arrange(sys); }
    fake::FakeSystem sys;
};

TEST_F(FinishUpdateTest, StartsRemoverThenHandsOffToCopyAtDriveRoot) {
    EXPECT_THROW(app::FinishUpdate(sys, sys, true), fake::ProgramEnded);

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
    EXPECT_THROW(app::FinishUpdate(sys, sys, false), fake::ProgramEnded);
    EXPECT_TRUE(sys.registryReads.empty());
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.started[0].commandLine, kCleanupLine);
}

TEST_F(FinishUpdateTest, CleanupStartIsRetriedOnceAfterPendingEvents) {
    sys.failStarts = 1;
    EXPECT_THROW(app::FinishUpdate(sys, sys, false), fake::ProgramEnded);
    ASSERT_EQ(sys.started.size(), 1u);
    EXPECT_EQ(sys.pendingEventsProcessed, 2);
}

TEST(FinishUpdate, TakenNamesLeadToTheFirstFreeOne) {
    // Ordinary files are seen by the existence test; a hidden file is not,
    // and is found only when the copy refuses to overwrite it.
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden" : "ordinary");
        fake::FakeSystem sys;
        Arrange(sys);
        fake::File occupant;
        occupant.hidden = hidden;
        sys.putFile("C:\\Atualizador.exe", "someone else's", occupant);
        sys.putFile("C:\\Atualizador0.exe", "someone else's", occupant);

        EXPECT_THROW(app::FinishUpdate(sys, sys, false), fake::ProgramEnded);

        EXPECT_EQ(sys.contents("C:\\Atualizador.exe"), "someone else's");
        EXPECT_EQ(sys.contents("C:\\Atualizador0.exe"), "someone else's");
        EXPECT_EQ(sys.contents("C:\\Atualizador00.exe"), "MZ updater");
        EXPECT_EQ(sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador00.exe"});
        ASSERT_EQ(sys.started.size(), 1u);
        EXPECT_EQ(sys.started[0].commandLine,
                  "\"C:\\Atualizador00.exe\" /!D:\\Update\\Atualizador.exe");
    }
}

TEST(FinishUpdate, FailuresAreReportedAndLeaveNoCopyToRun) {
    struct Case {
        const char* name;
        void (*arrange)(fake::FakeSystem&);
        bool startRemover;
        bool registered;
    };
    const Case cases[] = {
        {"remover cannot start", [](fake::FakeSystem& s) { s.failStartsWith = 2; }, true, false},
        {"drive root not writable", [](fake::FakeSystem& s) { s.failCopiesWith = 5; }, false,
         false},
        {"copy cannot start twice", [](fake::FakeSystem& s) { s.failStarts = 2; }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem sys;
        Arrange(sys);
        c.arrange(sys);
        // The top-level handler reports it; the program has not ended here.
        EXPECT_THROW(app::FinishUpdate(sys, sys, c.startRemover), platform::SystemError);
        EXPECT_FALSE(sys.ended);
        EXPECT_TRUE(sys.started.empty());
        EXPECT_FALSE(sys.exists("C:\\Atualizador.exe"));
        EXPECT_TRUE(sys.exists(kOwn));
        EXPECT_EQ(sys.rebootDeletes.size(), c.registered ? 1u : 0u);
    }
}

}  // namespace
