#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uidriver.h"

// The whole road of an update on the real program, for the end-to-end
// tests: an update folder and an installed product prepared, the wizard
// walked to "Finalizar", and the cleanup copy it hands off to awaited.
namespace e2e {

inline constexpr const char* kProductKey = "SOFTWARE\\Holmcrest\\Varnel R40";
inline constexpr uidriver::Millis kProcessEnd{20000};

// The cleanup window (of one process, or of any), shown or not.
uidriver::WindowQuery CleanupWindowOf(DWORD processId = 0);
uidriver::WindowQuery WindowOf(DWORD processId);

std::string Quote(const std::string& path);
std::string WindowsDir();
std::string DriveRoot();
std::string WininitIni();
std::string WininitBak();
std::string ShortPath(const std::string& path);
void CopyOrThrow(const std::string& from, const std::string& to);
void Remove(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);
// The stand-in for the product's remover, as a Windows path.
std::string RemoverStandIn();

// A process this test did not start (the cleanup copy that the updater
// starts), held by its handle so that it can be awaited and, when a test
// fails half-way, ended.
class Adopted {
  public:
    explicit Adopted(HWND window);
    ~Adopted();
    Adopted(const Adopted&) = delete;
    Adopted& operator=(const Adopted&) = delete;

    DWORD id() const { return id_; }
    bool waitExit(uidriver::Millis timeout) const;
    std::string image() const;

  private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// How a test walks the wizard.
struct Walk {
    bool keepCheck1 = true;
    std::string workingDir;                // empty: the update folder
    std::vector<std::string> environment;  // "NAME=value" for the updater
    std::function<void()> beforeFinalizar;
};

class UpdateRoad : public ::testing::Test {
  protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }

    // Leaves no cleanup window, copy or pending deletion behind.
    void Clear();

    // An update folder (the updater and a newer db.xdb) and an installed
    // product (an older database and a stand-in remover).
    struct Update {
        std::string folder, exe, installedDb, removerMarker, package;
    };
    Update Prepare();

    // "Prosseguir" twice, then "Finalizar"; returns once the updater ended.
    void WalkWizard(const Update& u, const Walk& walk = Walk());

    // The cleanup instance that the hand-off started: checks it runs from
    // `copy`, restored, and deletes the finished updater.
    std::unique_ptr<Adopted> AwaitCleanup(const Update& u, const std::string& copy);

    static void ExpectRestartBox(const uidriver::MessageBoxInfo& box);
    static void ExpectRegisteredForRestart(const std::string& copy);
};

}  // namespace e2e
