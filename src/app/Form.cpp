#include "app/Form.h"

#include <stdexcept>

namespace app {

Control ControlAt(double left, double top, double width, double height, std::string_view caption) {
    Control c;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.caption = caption;
    return c;
}

void Form::add(std::string name, Control initial) {
    if (!controls_.emplace(name, std::move(initial)).second)
        throw std::logic_error("control declared twice: " + name);
    order_.push_back(std::move(name));
}

bool Form::has(std::string_view name) const {
    return controls_.find(name) != controls_.end();
}

const Control& Form::operator[](std::string_view name) const {
    const auto it = controls_.find(name);
    if (it == controls_.end()) throw std::out_of_range("no control " + std::string(name));
    return it->second;
}

Control& Form::at(std::string_view name) {
    const auto it = controls_.find(name);
    if (it == controls_.end()) throw std::out_of_range("no control " + std::string(name));
    return it->second;
}

void Form::changed(std::string_view name, Change change) {
    if (listener_) listener_(std::string(name), change);
}

// Each setter tells the listener only about a real change: re-rendering a
// control that did not change would only flicker.
void Form::setCaption(std::string_view name, std::string caption) {
    Control& c = at(name);
    if (c.caption == caption) return;
    c.caption = std::move(caption);
    changed(name, Change::Caption);
}

void Form::setVisible(std::string_view name, bool visible) {
    Control& c = at(name);
    if (c.visible == visible) return;
    c.visible = visible;
    changed(name, Change::Visible);
    keepFocus();
}

void Form::setEnabled(std::string_view name, bool enabled) {
    Control& c = at(name);
    if (c.enabled == enabled) return;
    c.enabled = enabled;
    changed(name, Change::Enabled);
    keepFocus();
}

void Form::setValue(std::string_view name, int value) {
    Control& c = at(name);
    if (c.value == value) return;
    c.value = value;
    changed(name, Change::Value);
}

void Form::setTag(std::string_view name, std::string tag) {
    Control& c = at(name);
    if (c.tag == tag) return;
    c.tag = std::move(tag);
    changed(name, Change::Tag);
}

void Form::setLeft(std::string_view name, double left) {
    Control& c = at(name);
    if (c.left == left) return;
    c.left = left;
    changed(name, Change::Position);
}

void Form::setInterval(std::string_view name, int interval) {
    Control& c = at(name);
    if (c.interval == interval) return;
    c.interval = interval;
    changed(name, Change::Interval);
}

void Form::setAutoRedraw(std::string_view name, bool autoRedraw) {
    at(name).autoRedraw = autoRedraw;
}

void Form::draw(std::string_view name, const std::vector<Decl::ShadeLine>& lines) {
    Control& c = at(name);
    c.drawing.insert(c.drawing.end(), lines.begin(), lines.end());
    changed(name, Change::Drawing);
}

void Form::setTabOrder(std::initializer_list<TabStop> stops) {
    tabOrder_.clear();
    for (const TabStop& stop : stops) {
        at(stop.name);
        if (!stop.container.empty() && stopOf(stop.container) == tabOrder_.size())
            throw std::logic_error("a stop before its box: " + stop.name);
        tabOrder_.push_back(stop);
    }
}

std::size_t Form::stopOf(std::string_view name) const {
    for (std::size_t i = 0; i < tabOrder_.size(); ++i)
        if (tabOrder_[i].name == name) return i;
    return tabOrder_.size();
}

bool Form::canFocus(std::string_view name) const {
    // A box hides and disables what it holds.
    for (std::size_t i = stopOf(name); i < tabOrder_.size(); i = stopOf(tabOrder_[i].container)) {
        const Control& c = (*this)[tabOrder_[i].name];
        if (!c.visible || !c.enabled) return false;
        if (tabOrder_[i].container.empty()) return true;
    }
    return false;
}

void Form::focusFirst() {
    focused_.clear();
    focusNext();
}

void Form::focusNext(bool backwards) {
    const std::size_t n = tabOrder_.size();
    const std::size_t from = stopOf(focused_);
    for (std::size_t step = 1; step <= n; ++step) {
        // From nothing, Tab starts at the top and Shift+Tab at the bottom.
        const std::size_t i = from == n ? (backwards ? n - step : step - 1)
                                        : (backwards ? from + n - step : from + step) % n;
        if (!canFocus(tabOrder_[i].name)) continue;
        focused_ = tabOrder_[i].name;
        changed(focused_, Change::Focus);
        return;
    }
    focused_.clear();
}

void Form::setFocus(std::string_view name) {
    if (focused_ != name && canFocus(name)) focused_ = std::string(name);
}

std::string Form::enterPresses() const {
    const std::size_t i = stopOf(focused_);
    if (i == tabOrder_.size() || !tabOrder_[i].button || !canFocus(focused_)) return {};
    return focused_;
}

void Form::keepFocus() {
    if (!focused_.empty() && !canFocus(focused_)) focusNext();
}

}  // namespace app
