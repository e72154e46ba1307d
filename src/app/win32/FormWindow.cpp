#include "app/win32/FormWindow.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/win32/Text.h"

namespace app::win32 {

using platform::win32::SelectedObject;
using platform::win32::UniqueGdiObject;
using platform::win32::UniqueMemoryDc;
using platform::win32::Widen;
using platform::win32::WindowDc;

namespace {

constexpr wchar_t kBoxClass[] = L"AtualizadorBox";
// The system's own control classes, as user32 registers them. The program
// asks for no newer version of them: such a dependency would be looked for
// beside the program (a ".local" folder, a ".config" file) before the
// system folder, and the updater runs as administrator from folders others
// can write.
constexpr wchar_t kStaticClass[] = L"Static";
constexpr wchar_t kButtonClass[] = L"Button";
constexpr wchar_t kEditClass[] = L"Edit";
// EVENT_OBJECT_LIVEREGIONCHANGED, which the headers give only from Windows 8
// on; earlier systems pass it to no one.
constexpr DWORD kLiveRegionChanged = 0x8019;

COLORREF Resolve(Colour colour, int fallbackIndex) {
    switch (colour.source) {
        case Colour::Source::System:
            return GetSysColor(static_cast<int>(colour.value));
        case Colour::Source::Fixed:
            return colour.value;
        default:
            return GetSysColor(fallbackIndex);
    }
}

bool FaceInstalled(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    bool found = false;
    WindowDc screen(nullptr);
    EnumFontFamiliesExW(
        screen.get(), &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM out) -> int {
            *reinterpret_cast<bool*>(out) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Arial where it exists; otherwise its metric twin, so that captions wrap
// where they were designed to.
std::wstring FaceOrTwin(const wchar_t* face) {
    if (!face) return L"MS Shell Dlg";
    if (std::wstring(face) == L"Arial" && !FaceInstalled(face) && FaceInstalled(L"Liberation Sans"))
        return L"Liberation Sans";
    return face;
}

bool IsMouseDown(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

}  // namespace

// One control's window and what the toolkit keeps for it.
struct FormWindow::Entry {
    FormWindow* owner = nullptr;
    const ControlLook* look = nullptr;
    std::string name;
    HWND hwnd = nullptr;
    Entry* parent = nullptr;  // null: on the window itself
    UINT_PTR timerId = 0;
    WNDPROC systemProc = nullptr;  // the control class's own procedure
    // Picture boxes: the persistent image the box repaints from, and a
    // pattern brush of it for the transparent controls it holds.
    UniqueGdiObject image;
    UniqueGdiObject imageBrush;
    SIZE imageSize{};
};

void FormWindow::RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW box{};
    box.cbSize = sizeof box;
    box.lpfnWndProc = BoxProc;
    box.hInstance = instance;
    box.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    box.lpszClassName = kBoxClass;
    if (!RegisterClassExW(&box) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("RegisterClassEx failed");
}

FormWindow::FormWindow(HWND window, std::string formName, Form& form,
                       std::span<const ControlLook> looks, FormEvents& events, FatalHandler fatal)
    : window_(window),
      formName_(std::move(formName)),
      form_(form),
      events_(events),
      fatal_(std::move(fatal)) {
    {
        WindowDc screen(nullptr);
        if (screen) dpi_ = GetDeviceCaps(screen.get(), LOGPIXELSX);
    }
    try {
        for (const ControlLook& look : looks) create(look);
    } catch (...) {
        release();
        throw;
    }
    SetWindowTextW(window_, Widen(form_[formName_].caption).c_str());
    form_.setListener(
        [this](const std::string& name, Form::Change change) { render(name, change); });
}

FormWindow::~FormWindow() {
    release();
}

void FormWindow::release() noexcept {
    form_.setListener(nullptr);
    // The controls point at their entries: once given back their own
    // procedures they can outlive them, as they do while the window is
    // destroyed.
    for (const auto& e : entries_) {
        if (!e->hwnd || !IsWindow(e->hwnd)) continue;
        if (e->systemProc)
            SetWindowLongPtrW(e->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(e->systemProc));
        SetWindowLongPtrW(e->hwnd, GWLP_USERDATA, 0);
        e->hwnd = nullptr;
    }
}

int FormWindow::pixels(double twips) const {
    return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

FormWindow::Entry* FormWindow::find(HWND control) const {
    for (const auto& e : entries_)
        if (e->hwnd == control) return e.get();
    return nullptr;
}

FormWindow::Entry* FormWindow::find(std::string_view name) const {
    for (const auto& e : entries_)
        if (e->name == name) return e.get();
    return nullptr;
}

HWND FormWindow::control(std::string_view name) const {
    const Entry* e = find(name);
    return e ? e->hwnd : nullptr;
}

HFONT FormWindow::font(const Font& f) {
    const std::wstring key = std::wstring(f.face ? f.face : L"") + L"|" +
                             std::to_wstring(f.points) + (f.bold ? L"b" : L"") +
                             (f.italic ? L"i" : L"");
    auto& owned = fonts_[key];
    if (!owned) {
        const std::wstring face = FaceOrTwin(f.face);
        LOGFONTW lf{};
        lf.lfHeight = -static_cast<LONG>(std::lround(f.points * dpi_ / 72.0));
        lf.lfWeight = f.bold ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = f.italic ? TRUE : FALSE;
        lf.lfCharSet = ANSI_CHARSET;  // Western
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
        owned.reset(CreateFontIndirectW(&lf));
    }
    return static_cast<HFONT>(owned.get());
}

void FormWindow::create(const ControlLook& look) {
    auto entry = std::make_unique<Entry>();
    entry->owner = this;
    entry->look = &look;
    entry->name = look.name;
    const Control& state = form_[look.name];

    if (look.kind == Kind::Timer) {
        entry->timerId = entries_.size() + 1;
        Entry* raw = entry.get();
        entries_.push_back(std::move(entry));
        if (state.enabled && state.interval > 0)
            SetTimer(window_, raw->timerId, static_cast<UINT>(state.interval), nullptr);
        return;
    }

    HWND parentWindow = window_;
    if (look.parent) {
        entry->parent = find(look.parent);
        if (!entry->parent) throw std::logic_error(std::string("parent after child: ") + look.name);
        parentWindow = entry->parent->hwnd;
    }

    int x = pixels(state.left), y = pixels(state.top);
    int w = pixels(state.width), h = pixels(state.height);
    if (look.kind == Kind::Line) {
        // A line is a thin box of its colour over the span it covers.
        x = pixels(std::min(state.left, state.left + state.width));
        y = pixels(std::min(state.top, state.top + state.height));
        w = std::max(pixels(std::abs(state.width)), look.lineWidth);
        h = std::max(pixels(std::abs(state.height)), look.lineWidth);
    }

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (state.visible ? WS_VISIBLE : 0) |
                  (state.enabled ? 0 : WS_DISABLED);
    DWORD exStyle = 0;
    const wchar_t* className = kStaticClass;
    std::wstring text = Widen(state.caption);
    switch (look.kind) {
        case Kind::PictureBox:
        case Kind::Line:
            className = kBoxClass;
            style |= WS_CLIPCHILDREN;
            if (look.sunkenBorder) exStyle |= WS_EX_CLIENTEDGE;
            // Nothing draws a box's text, and screen readers would read its
            // internal name: tools find a box by its id.
            text.clear();
            break;
        case Kind::Label:
            style |= SS_NOTIFY | SS_NOPREFIX |
                     (look.align == Align::Centre  ? SS_CENTER
                      : look.align == Align::Right ? SS_RIGHT
                                                   : SS_LEFT);
            break;
        case Kind::Image:
            style |= SS_NOTIFY | SS_ICON;
            text.clear();
            break;
        case Kind::Button:
            className = kButtonClass;
            style |= BS_PUSHBUTTON;
            break;
        case Kind::CheckBox:
            className = kButtonClass;
            style |= BS_AUTOCHECKBOX | BS_MULTILINE;
            break;
        case Kind::TextBox:
            className = kEditClass;
            style |= ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case Kind::Timer:
            break;
    }

    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    entry->hwnd = CreateWindowExW(exStyle, className, text.c_str(), style, x, y, w, h, parentWindow,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(look.id)), instance,
                                  entry.get());
    if (!entry->hwnd) throw std::runtime_error(std::string("cannot create control ") + look.name);
    // Siblings come topmost first: each new one goes below those before it.
    SetWindowPos(entry->hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    if (className == kBoxClass) {
        SetWindowLongPtrW(entry->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry.get()));
        RECT client{};
        GetClientRect(entry->hwnd, &client);
        entry->imageSize = {std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)};
        WindowDc screen(nullptr);
        entry->image.reset(
            CreateCompatibleBitmap(screen.get(), entry->imageSize.cx, entry->imageSize.cy));
        UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
        SelectedObject bitmap(dc.get(), entry->image.get());
        UniqueGdiObject brush(CreateSolidBrush(Resolve(look.background, COLOR_BTNFACE)));
        const RECT all{0, 0, entry->imageSize.cx, entry->imageSize.cy};
        FillRect(dc.get(), &all, static_cast<HBRUSH>(brush.get()));
    } else {
        // The control's own procedure sees every message after ours.
        SetWindowLongPtrW(entry->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry.get()));
        entry->systemProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(entry->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
        SendMessageW(entry->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font(look.font)), FALSE);
    }
    if (look.kind == Kind::CheckBox)
        SendMessageW(entry->hwnd, BM_SETCHECK, state.value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (look.kind == Kind::Image && look.icon) {
        HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(look.icon), IMAGE_ICON, w, h,
                                 LR_DEFAULTCOLOR | LR_SHARED);
        SendMessageW(entry->hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }

    Entry* raw = entry.get();
    entries_.push_back(std::move(entry));
    if (!state.drawing.empty()) paintDrawing(*raw);
}

void FormWindow::paintDrawing(Entry& entry) {
    if (!entry.image) return;
    WindowDc screen(nullptr);
    UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
    SelectedObject bitmap(dc.get(), entry.image.get());
    SelectedObject brush(dc.get(), GetStockObject(DC_BRUSH));
    // One-pixel vertical lines, full height; several twip positions fall on
    // the same pixel, and the last one drawn there wins.
    for (const Decl::ShadeLine& line : form_[entry.name].drawing) {
        SetDCBrushColor(dc.get(), line.colour);
        PatBlt(dc.get(), pixels(line.x), 0, 1, entry.imageSize.cy, PATCOPY);
    }
    entry.imageBrush.reset();
    InvalidateRect(entry.hwnd, nullptr, TRUE);
}

void FormWindow::render(const std::string& name, Form::Change change) {
    if (name == formName_ && change == Form::Change::Caption)
        SetWindowTextW(window_, Widen(form_[name].caption).c_str());
    Entry* entry = find(name);
    if (!entry) return;
    const Control& state = form_[name];
    if (entry->look->kind == Kind::Timer) {
        if (change != Form::Change::Enabled && change != Form::Change::Interval) return;
        KillTimer(window_, entry->timerId);
        if (state.enabled && state.interval > 0)
            SetTimer(window_, entry->timerId, static_cast<UINT>(state.interval), nullptr);
        return;
    }
    switch (change) {
        case Form::Change::Caption:
            if (entry->look->kind != Kind::PictureBox && entry->look->kind != Kind::Line)
                SetWindowTextW(entry->hwnd, Widen(state.caption).c_str());
            // Screen readers that follow live regions read the new text.
            if (entry->look->live)
                NotifyWinEvent(kLiveRegionChanged, entry->hwnd, OBJID_CLIENT, CHILDID_SELF);
            break;
        case Form::Change::Focus:
            if (GetFocus() != entry->hwnd) SetFocus(entry->hwnd);
            return;
        case Form::Change::Visible:
            ShowWindow(entry->hwnd, state.visible ? SW_SHOWNA : SW_HIDE);
            break;
        case Form::Change::Enabled:
            EnableWindow(entry->hwnd, state.enabled);
            break;
        case Form::Change::Value:
            SendMessageW(entry->hwnd, BM_SETCHECK, state.value ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case Form::Change::Position: {
            RECT r{};
            GetWindowRect(entry->hwnd, &r);
            MapWindowPoints(nullptr, GetParent(entry->hwnd), reinterpret_cast<POINT*>(&r), 2);
            SetWindowPos(entry->hwnd, nullptr, pixels(state.left), r.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            // The image moved over the parent's persistent image: repaint
            // what it uncovered.
            InvalidateRect(GetParent(entry->hwnd), nullptr, TRUE);
            break;
        }
        case Form::Change::Drawing:
            paintDrawing(*entry);
            break;
        case Form::Change::Tag:
        case Form::Change::Interval:
            return;
    }
    // What the logic changed is on screen before its handler goes on, even
    // when it opens a modal box next.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

LRESULT FormWindow::colour(HDC dc, HWND control) {
    Entry* entry = find(control);
    if (!entry) return 0;
    const ControlLook& look = *entry->look;
    SetTextColor(dc, Resolve(look.foreground, COLOR_BTNTEXT));
    const bool transparent =
        look.background.source == Colour::Source::Transparent || look.kind == Kind::Image;
    if (transparent) {
        SetBkMode(dc, TRANSPARENT);
        Entry* parent = entry->parent;
        if (!parent || !parent->image)
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        // The control fills its background with its parent's image, aligned
        // so that it shows exactly what lies under it.
        if (!parent->imageBrush)
            parent->imageBrush.reset(CreatePatternBrush(static_cast<HBITMAP>(parent->image.get())));
        POINT at{0, 0};
        MapWindowPoints(control, parent->hwnd, &at, 1);
        SetBrushOrgEx(dc, -at.x, -at.y, nullptr);
        return reinterpret_cast<LRESULT>(parent->imageBrush.get());
    }
    const int index = look.background.source == Colour::Source::System
                          ? static_cast<int>(look.background.value)
                          : COLOR_BTNFACE;
    SetBkColor(dc, GetSysColor(index));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(index));
}

void FormWindow::guard(const std::function<void()>& handler) {
    // Nothing may cross the window procedure: an error that escapes a
    // handler is reported and ends the program.
    try {
        handler();
    } catch (...) {
        fatal_(std::current_exception());
    }
}

void FormWindow::mouseMove(Entry* entry) {
    const std::string name = entry ? entry->name : formName_;
    guard([&] { events_.onMouseMove(name); });
}

bool FormWindow::handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            const UINT code = HIWORD(wParam);
            Entry* entry = find(reinterpret_cast<HWND>(lParam));
            if (!entry || (code != BN_CLICKED && code != STN_CLICKED)) return false;
            if (entry->look->kind == Kind::CheckBox) {
                const bool ticked = SendMessageW(entry->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
                form_.setValue(entry->name, ticked ? 1 : 0);
            }
            const std::string name = entry->name;
            guard([&] { events_.onClick(name); });
            result = 0;
            return true;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            result = colour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            return result != 0;
        case WM_TIMER:
            for (const auto& e : entries_) {
                if (e->timerId == wParam && e->timerId != 0) {
                    const std::string name = e->name;
                    guard([&] { events_.onTimer(name); });
                    result = 0;
                    return true;
                }
            }
            return false;
        case WM_MOUSEMOVE:
            mouseMove(nullptr);
            result = 0;
            return true;
        case WM_ACTIVATE:
            // Back from a message box, Alt+Tab or another program: the focus
            // returns to the control that had it, not to the window.
            if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) != 0) return false;
            if (HWND focused = control(form_.focused())) {
                SetFocus(focused);
                result = 0;
                return true;
            }
            return false;
        case WM_CLOSE:
            // The window's logic decides; the window is never destroyed under it.
            guard([&] { events_.onClose(); });
            result = 0;
            return true;
        default:
            return false;
    }
}

void FormWindow::focusFirst() {
    form_.focusFirst();
}

bool FormWindow::key(const MSG& message) {
    if (message.message != WM_KEYDOWN ||
        (message.hwnd != window_ && !IsChild(window_, message.hwnd)))
        return false;
    if (message.wParam == VK_TAB) {
        form_.focusNext(GetKeyState(VK_SHIFT) < 0);
        // The keyboard is in use: the focused button shows its focus cue.
        SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        return true;
    }
    // A key held down presses once.
    if (message.wParam == VK_RETURN && (message.lParam & (1 << 30)) == 0) {
        const Entry* button = find(form_.enterPresses());
        if (!button || !button->hwnd) return false;
        SendMessageW(button->hwnd, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

LRESULT CALLBACK FormWindow::BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* entry = reinterpret_cast<Entry*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers everything from the image
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (entry && entry->image) {
                UniqueMemoryDc memory(CreateCompatibleDC(dc));
                SelectedObject bitmap(memory.get(), entry->image.get());
                BitBlt(dc, 0, 0, entry->imageSize.cx, entry->imageSize.cy, memory.get(), 0, 0,
                       SRCCOPY);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            // The controls a box holds are answered by the window.
            return SendMessageW(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
        case WM_MOUSEMOVE:
            if (entry) entry->owner->mouseMove(entry);
            return 0;
        case WM_SETFOCUS:
            if (entry) entry->owner->form_.setFocus(entry->name);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (entry && entry->look->dragsWindow) BeginWindowDrag(GetAncestor(hwnd, GA_ROOT));
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK FormWindow::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* entry = reinterpret_cast<Entry*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_MOUSEMOVE) {
        entry->owner->mouseMove(entry);
    } else if (message == WM_SETFOCUS) {
        entry->owner->form_.setFocus(entry->name);  // a click, say
    } else if (IsMouseDown(message) && entry->look->dragsWindow) {
        BeginWindowDrag(GetAncestor(hwnd, GA_ROOT));
        return 0;
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry->systemProc));
    }
    return CallWindowProcW(entry->systemProc, hwnd, message, wParam, lParam);
}

void BeginWindowDrag(HWND window) {
    ReleaseCapture();
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

int RunMessageLoop(FormWindow& form) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (form.key(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace app::win32
