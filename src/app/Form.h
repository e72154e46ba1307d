#pragma once

#include <cstdint>
#include <functional>
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
    enum class Change { Caption, Visible, Enabled, Value, Tag, Position, Drawing, Interval };
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

    // One listener; setting another replaces it.
    void setListener(Listener listener) { listener_ = std::move(listener); }

  private:
    Control& at(std::string_view name);
    void changed(std::string_view name, Change change);

    std::map<std::string, Control, std::less<>> controls_;
    std::vector<std::string> order_;
    Listener listener_;
};

}  // namespace app
