#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>

#include "app/Form.h"
#include "app/win32/FormWindow.h"
#include "app/win32/Look.h"

namespace app::win32 {

// How a top-level window looks to the system.
struct TopLevelStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
    int icon = 0;  // the class icon's resource, 0 for none
};

// A top-level window without a title bar whose controls a FormWindow
// renders: its class, its window procedure, and a client area of the size
// the form gives its own entry. The system chooses its place.
class TopLevelWindow {
  public:
    TopLevelWindow(HINSTANCE instance, const TopLevelStyle& look, Form& form,
                   const std::string& formName, std::span<const ControlLook> controls,
                   FormEvents& events, FatalHandler fatal);
    ~TopLevelWindow();
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;

    HWND handle() const noexcept { return hwnd_; }
    FormWindow& form() noexcept { return *form_; }

  private:
    void destroy() noexcept;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    // Filled once the window exists; the procedure forwards to it from then on.
    std::unique_ptr<FormWindow> form_;
};

}  // namespace app::win32
