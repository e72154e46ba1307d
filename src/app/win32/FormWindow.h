#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Form.h"
#include "app/win32/Look.h"
#include "platform/win32/Handles.h"

// A small toolkit that realises an app::Form as Win32 child windows and keeps
// them in step with it: the controls are created from a look table, every
// change of the form is rendered at once, and the controls' events come back
// as calls on FormEvents.
namespace app::win32 {

// What a window's logic hears from its controls. `control` is a control's
// name, or the form's own name for the window's surface.
class FormEvents {
  public:
    virtual ~FormEvents() = default;
    virtual void onClick(const std::string& control) = 0;
    virtual void onMouseMove(const std::string& control) = 0;
    virtual void onTimer(const std::string& control) = 0;
    // The system asks the window to close (Alt+F4, the taskbar, "End task").
    virtual void onClose() = 0;
};

// Called with an error that escaped an event handler; it reports it and ends
// the program.
using FatalHandler = std::function<void(std::exception_ptr error)>;

class FormWindow {
  public:
    // Registers the toolkit's window class; once per process.
    static void RegisterClasses(HINSTANCE instance);

    // Creates the controls of `looks` in `window` with the form's current
    // state and listens to the form from then on.
    FormWindow(HWND window, std::string formName, Form& form, std::span<const ControlLook> looks,
               FormEvents& events, FatalHandler fatal);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND window() const noexcept { return window_; }
    // The child window of a control; null for timers.
    HWND control(std::string_view name) const;

    // Answers the messages of the top-level window that concern its controls
    // (commands, colours, timers, the mouse on its own surface). Returns
    // true when it handled the message and set `result`.
    bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Gives the focus to the first control of the form's Tab column.
    void focusFirst();
    // The keys the window's own controls do not answer: Tab and Shift+Tab
    // move the focus along the form's column, Enter presses the button the
    // form says. Returns true when the key was used.
    bool key(const MSG& message);

    // Gives every control its own window procedure back and lets go of the
    // windows, which may then be destroyed while this object still exists.
    void release() noexcept;

    // Twips to pixels at the screen's real resolution.
    int pixels(double twips) const;

  private:
    struct Entry;

    void create(const ControlLook& look);
    void render(const std::string& name, Form::Change change);
    void paintDrawing(Entry& entry);
    HFONT font(const Font& font);
    LRESULT colour(HDC dc, HWND control);
    void mouseMove(Entry* entry);
    void guard(const std::function<void()>& handler);
    Entry* find(HWND control) const;
    Entry* find(std::string_view name) const;

    static LRESULT CALLBACK BoxProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);

    HWND window_;
    std::string formName_;
    Form& form_;
    FormEvents& events_;
    FatalHandler fatal_;
    int dpi_ = 96;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::map<std::wstring, platform::win32::UniqueGdiObject> fonts_;
};

// Lets the system move the window as if its title bar had been pressed,
// until the mouse button is released.
void BeginWindowDrag(HWND window);

// Runs the message loop until WM_QUIT, with the form's keys. Returns the
// quit code.
int RunMessageLoop(FormWindow& form);

}  // namespace app::win32
