#pragma once

#include <windows.h>

// How a window's controls look and where they sit in the window's tree: the
// Win32 half of a form. The state that changes (captions, visibility,
// positions) lives in app::Form; this says what never changes.
namespace app::win32 {

enum class Kind { PictureBox, Line, Label, Button, CheckBox, TextBox, Image, Timer };

// A colour: the control's default, transparent (labels and images drawn over
// their parent's image), one of the user's system colours, or a fixed RGB.
struct Colour {
    enum class Source { Default, Transparent, System, Fixed };
    Source source = Source::Default;
    COLORREF value = 0;  // the COLOR_* index for System, the RGB for Fixed
};
inline constexpr Colour kDefaultColour{};
inline constexpr Colour kTransparent{Colour::Source::Transparent, 0};
constexpr Colour SystemColour(int index) {
    return {Colour::Source::System, static_cast<COLORREF>(index)};
}
constexpr Colour FixedColour(BYTE red, BYTE green, BYTE blue) {
    return {Colour::Source::Fixed, RGB(red, green, blue)};
}

// A font in the Western character set. No face means the standard 8-point
// dialog font.
struct Font {
    const wchar_t* face = nullptr;
    double points = 8;
    bool bold = false;
    bool italic = false;
};
constexpr Font Arial(double points, bool bold = false, bool italic = false) {
    return {L"Arial", points, bold, italic};
}

enum class Align { Left, Centre, Right };

// One control. Siblings are listed topmost first, and a parent before its
// children. Geometry comes from the form: left, top, width and height in
// twips; a line runs from (left, top) to (left + width, top + height).
struct ControlLook {
    const char* name = "";
    Kind kind = Kind::Label;
    const char* parent = nullptr;  // none: the window itself
    int id = 0;                    // the child window's control id
    Colour background = kDefaultColour;
    Colour foreground = kDefaultColour;
    Font font = {};
    Align align = Align::Left;
    bool sunkenBorder = false;
    int lineWidth = 1;         // lines, in pixels
    bool dragsWindow = false;  // any mouse button pressed on it moves the window
    int icon = 0;              // images: the icon resource
    // Labels whose changes screen readers announce as they come (a live
    // region), as they do a status line's.
    bool live = false;
};

}  // namespace app::win32
