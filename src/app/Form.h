#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PanelShading.h"

namespace app {

// The live state of one control of a window, as the window's logic sees it.
// Geometry is in twips relative to the parent's client area; a line control
// runs from (left, top) to (left + width, top + height).
struct Control {
    std::string caption;  // caption of labels and buttons, text of text boxes
    bool visible = true;
    bool enabled = true;  // for timers: running
    int value = 0;        // check boxes: 0 clear, 1 ticked
    std::string tag;      // free text the logic keeps on the control
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    int interval = 0;  // timers: milliseconds between ticks
    // Picture boxes: drawing goes to a persistent image, and what has been
    // drawn into it.
    bool autoRedraw = false;
    std::vector<Decl::ShadeLine> drawing;
};

// A control at a place, in twips relative to its container.
Control ControlAt(double left, double top, double width, double height,
                  std::string_view caption = {});

// The controls of one window by name, and the one place their state changes.
// Whoever shows the window listens to the changes and re-renders the control
// at once, so that what the logic sets is on screen before a modal box that
// the same handler opens next.
class Form {
  public:
    enum class Change { Caption, Visible, Enabled, Value, Tag, Position, Drawing, Interval, Focus };
    using Listener = std::function<void(const std::string& control, Change change)>;

    // Declares a control with its design state. Names are unique.
    void add(std::string name, Control initial = {});
    bool has(std::string_view name) const;
    // Throws std::out_of_range for a name the window does not have.
    const Control& operator[](std::string_view name) const;
    // The names in the order they were added.
    const std::vector<std::string>& names() const { return order_; }

    void setCaption(std::string_view name, std::string caption);
    void setVisible(std::string_view name, bool visible);
    void setEnabled(std::string_view name, bool enabled);
    void setValue(std::string_view name, int value);
    void setTag(std::string_view name, std::string tag);
    void setLeft(std::string_view name, double left);
    void setInterval(std::string_view name, int interval);
    void setAutoRedraw(std::string_view name, bool autoRedraw);
    // Appends lines to a picture box's persistent image.
    void draw(std::string_view name, const std::vector<Decl::ShadeLine>& lines);

    // One stop of the Tab column: a control that can take the keyboard focus,
    // the box it lies in (none: the window), and whether Enter presses it.
    struct TabStop {
        std::string name;
        std::string container = {};
        bool button = false;
    };
    // The Tab column, in order; a stop's box is a stop before it. A stop
    // takes the focus only while it is enabled and shown, and so is every
    // box it lies in.
    void setTabOrder(std::initializer_list<TabStop> stops);
    // The control with the keyboard focus; empty when none can take it.
    const std::string& focused() const { return focused_; }
    bool canFocus(std::string_view name) const;
    // The first stop that can take the focus, or the next one after (before)
    // the focused one, round the column: Tab and Shift+Tab.
    void focusFirst();
    void focusNext(bool backwards = false);
    // The system gave a control the focus (a click): the form follows it.
    void setFocus(std::string_view name);
    // The button Enter presses: the focused one; empty when the focus is
    // on anything else.
    std::string enterPresses() const;

    // One listener; setting another replaces it.
    void setListener(Listener listener) { listener_ = std::move(listener); }

  private:
    Control& at(std::string_view name);
    void changed(std::string_view name, Change change);
    // A step that disables or hides the focused control moves the focus on,
    // so that the keyboard never loses the window.
    void keepFocus();
    std::size_t stopOf(std::string_view name) const;

    std::map<std::string, Control, std::less<>> controls_;
    std::vector<std::string> order_;
    Listener listener_;
    std::vector<TabStop> tabOrder_;
    std::string focused_;
};

}  // namespace app
