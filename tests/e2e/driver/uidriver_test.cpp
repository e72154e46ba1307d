#include "uidriver.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using uidriver::Millis;

// The driver against a window of known shape: if it cannot find, read and
// press these, the end-to-end tests built on it cannot be trusted.
class Driver : public testing::Test {
  protected:
    void SetUp() override {
        uidriver::WindowQuery query;
        query.title = "Janela de ensaio";
        query.processId = app.id();
        window = uidriver::WaitTopWindow(query);
    }
    void TearDown() override {
        // Ended through its own button, not by the driver (see Process::end).
        if (app.running()) {
            uidriver::Click(uidriver::FindChildByText(window, "Sair"));
            app.waitExit();
        }
    }
    uidriver::Process app =
        uidriver::Process::Start("\"" + uidriver::WindowsPath(UIDRIVER_TESTWINDOW) + "\"");
    HWND window = nullptr;
};

TEST_F(Driver, FindsNestedControlsAndReadsTheirState) {
    HWND go = uidriver::FindChildByText(window, "Prosseguir");
    ASSERT_TRUE(go);
    EXPECT_EQ(uidriver::ControlId(go), 101);
    EXPECT_EQ(uidriver::ClassName(go), "Button");
    EXPECT_TRUE(uidriver::Visible(go));
    EXPECT_TRUE(uidriver::Enabled(go));
    EXPECT_FALSE(uidriver::Enabled(uidriver::FindChildById(window, 105)));
    EXPECT_EQ(uidriver::Text(uidriver::FindChildById(window, 103)), "Versão instalada");
    EXPECT_EQ(uidriver::FindChildByText(window, "Nenhum"), nullptr);
}

TEST_F(Driver, ClicksTogglesAndSendsMouse) {
    HWND check = uidriver::FindChildByText(window, "Iniciar o removedor");
    ASSERT_TRUE(check);
    EXPECT_EQ(uidriver::CheckState(check), BST_UNCHECKED);
    uidriver::Click(check);
    uidriver::WaitUntil([&] { return uidriver::CheckState(check) == BST_CHECKED; }, "the tick");

    HWND label = uidriver::FindChildById(window, 103);
    uidriver::SendMouse(uidriver::FindChildById(window, 100), uidriver::Mouse::RightDown, 5, 7);
    uidriver::WaitUntil([&] { return uidriver::Text(label) == "direito 5,7"; }, "the mouse");
}

// A click that opens a modal box must return at once, and the box must be
// found, read and answered.
TEST_F(Driver, AnswersAMessageBoxOpenedByAClick) {
    uidriver::Click(uidriver::FindChildByText(window, "Perguntar"));
    const auto box = uidriver::WaitMessageBox(app.id());
    EXPECT_EQ(box.title, "Pergunta");
    EXPECT_EQ(box.text, "Deseja continuar?");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_THROW(uidriver::Press(box, IDCANCEL), uidriver::DriverError);
    uidriver::Press(box, IDNO);
    HWND label = uidriver::FindChildById(window, 103);
    uidriver::WaitUntil([&] { return uidriver::Text(label) == "Não"; }, "the answer");
    EXPECT_FALSE(uidriver::FindMessageBox(app.id()).has_value());
}

TEST_F(Driver, WaitsFailLoudlyAndOnTime) {
    uidriver::WindowQuery missing;
    missing.title = "Janela que não existe";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(uidriver::WaitTopWindow(missing, Millis{300}), uidriver::DriverError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, Millis{3000});
    EXPECT_THROW(uidriver::WaitMessageBox(app.id(), Millis{200}), uidriver::DriverError);
    EXPECT_THROW(app.waitExit(Millis{200}), uidriver::DriverError);
}

TEST_F(Driver, ScreenshotIsABitmapOfTheWindow) {
    const std::string folder = uidriver::MakeTempFolder("shot");
    const std::string path = folder + "\\window.bmp";
    uidriver::Screenshot(window, path);
    const auto bytes = uidriver::ReadWholeFile(path);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GT(bytes->size(), 54u);
    EXPECT_EQ(bytes->substr(0, 2), "BM");
    const RECT rect = uidriver::ScreenRect(window);
    EXPECT_EQ(*reinterpret_cast<const std::int32_t*>(bytes->data() + 18), rect.right - rect.left);
    ::DeleteFileW(std::wstring(path.begin(), path.end()).c_str());
    ::RemoveDirectoryW(std::wstring(folder.begin(), folder.end()).c_str());
}

TEST_F(Driver, ReportsTheExitCode) {
    uidriver::Click(uidriver::FindChildByText(window, "Sair"));
    EXPECT_EQ(app.waitExit(), 3u);
    EXPECT_FALSE(app.running());
}

}  // namespace
