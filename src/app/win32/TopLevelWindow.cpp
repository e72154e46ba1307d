#include "app/win32/TopLevelWindow.h"

#include <stdexcept>

namespace app::win32 {

namespace {

HICON LoadIcon(HINSTANCE instance, int resource, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_SHARED));
}

void Register(HINSTANCE instance, const TopLevelStyle& look, WNDPROC proc) {
    FormWindow::RegisterClasses(instance);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = look.className;
    if (look.icon != 0) {
        wc.hIcon = LoadIcon(instance, look.icon, SM_CXICON, SM_CYICON);
        wc.hIconSm = LoadIcon(instance, look.icon, SM_CXSMICON, SM_CYSMICON);
    }
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register a window class");
}

}  // namespace

TopLevelWindow::TopLevelWindow(HINSTANCE instance, const TopLevelStyle& look, Form& form,
                               const std::string& formName, std::span<const ControlLook> controls,
                               FormEvents& events, FatalHandler fatal) {
    Register(instance, look, Proc);
    // Created as an overlapped window so that the system places it; the
    // title bar that overlapped windows get is taken off at once.
    hwnd_ = CreateWindowExW(look.exStyle, look.className, L"", look.style, CW_USEDEFAULT,
                            CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, &form_);
    if (!hwnd_) throw std::runtime_error("cannot create a window");
    try {
        SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(look.style));
        form_ =
            std::make_unique<FormWindow>(hwnd_, formName, form, controls, events, std::move(fatal));
        const Control& window = form[formName];
        RECT outer{0, 0, form_->pixels(window.width), form_->pixels(window.height)};
        AdjustWindowRectEx(&outer, look.style, FALSE, look.exStyle);
        SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    } catch (...) {
        // No window is left pointing at an object that was never made.
        destroy();
        throw;
    }
}

TopLevelWindow::~TopLevelWindow() {
    destroy();
}

void TopLevelWindow::destroy() noexcept {
    // The controls point at the form's entries and the window at the form:
    // procedures given back and windows destroyed while the form still
    // exists, and only then the form.
    if (form_) form_->release();
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    hwnd_ = nullptr;
    form_.reset();
}

LRESULT CALLBACK TopLevelWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const auto* form = reinterpret_cast<const std::unique_ptr<FormWindow>*>(
        GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (form && *form && (*form)->handle(message, wParam, lParam, result)) return result;
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    // Everything else, WM_QUERYENDSESSION included, takes the default: no
    // window of the updater stands in the way of a restart.
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace app::win32
