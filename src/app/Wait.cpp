#include "app/Wait.h"

#include <exception>

#include "app/PanelDrawing.h"
#include "app/WaitEgg.h"
#include "app/WaitTexts.h"

namespace app {

namespace {

Control Timer(int interval) {
    Control c;
    c.enabled = false;
    c.interval = interval;
    return c;
}

// Whether two held files have the same bytes. This copy was made from the
// finished updater's file, so only that file (or another copy of it, which
// is as harmless to delete) has this copy's bytes.
bool SameBytes(platform::HeldFile& a, platform::HeldFile& b) {
    const std::uint64_t size = a.size();
    if (size != b.size()) return false;
    constexpr std::size_t kPiece = 1 << 16;
    for (std::uint64_t offset = 0; offset < size; offset += kPiece) {
        const std::string piece = a.read(offset, kPiece);
        if (piece.empty() || piece != b.read(offset, kPiece)) return false;
    }
    return true;
}

}  // namespace

Wait::Wait(platform::Platform& system, platform::UserInterface& ui)
    : system_(system), ui_(ui), self_(system.holdExecutable(selfError_)) {
    // The window's caption is its label's text, for the screen readers and
    // Alt+Tab: it has no title bar.
    form_.add(std::string(kWindow), ControlAt(0, 0, 5550, 510, wait_texts::kWaiting));
    form_.add("Picture1", ControlAt(0, 0, 5535, 495));
    // Image1 lies above Image2, which slides out from under it.
    form_.add("Image1", ControlAt(0, 0, 480, 480));
    form_.add("Image2", ControlAt(0, 0, 480, 480));
    Control label = ControlAt(600, 120, 4695, 255);
    label.caption = std::string(wait_texts::kWaiting);
    form_.add("Label1", label);
    Control line = ControlAt(4460, 350, 5280 - 4460, 0);
    line.visible = false;
    form_.add("Line1", line);
    form_.add("Timer1", Timer(500));
    form_.add("egg", Timer(10));
}

void Wait::Load(std::uint32_t buttonFace) {
    double bandWidth = 100;
    ShadePanel(form_, "Picture1", bandWidth, buttonFace);
    int limit = 5550;
    PreparePanelDrawing(form_, "Picture1", limit);
}

void Wait::ComeçarATentar(std::string path) {
    form_.setTag(kWindow, std::move(path));
    form_.setEnabled("Timer1", true);
}

void Wait::Timer1Tick() {
    // Nothing that goes wrong here ends the program: a deletion that waiting
    // can cure is tried again on the next tick.
    try {
        if (!form_["Timer1"].enabled) return;  // a tick still queued when it stopped
        const std::string& path = form_[kWindow].tag;
        // A path that names no file has nothing left to wait for; without
        // this the window, which has no close control, would wait forever.
        if (path.empty()) return deleted();
        if (!self_) return notDeleted(path, selfError_);
        // The file is held from here to its deletion, through one handle:
        // whoever can write its folder may have put a link in the folder's
        // place while the updater's process was ending, and what is deleted
        // must be what was proven to be the updater.
        std::uint32_t error = 0;
        if (auto target = system_.holdToRemove(path, error)) {
            if (!SameBytes(*target, *self_)) return notTheUpdater(path);
            // A read-only updater (unpacked from a disc, marked so by a mail
            // client) has its attribute cleared through the same handle.
            error = target->remove();
            if (error == 0) return deleted();
        } else if (platform::IsNotFound(error)) {
            return deleted();
        }
        // Waiting cures a file that is in use (the updater's process still
        // ending), within reason; nothing cures a write-protected disc or a
        // refusal once nothing holds the file.
        if (++attempts_ < kAttempts && system_.fileInUse(path)) return;
        notDeleted(path, error);
    } catch (const std::exception&) {
    }
}

void Wait::notTheUpdater(const std::string& path) {
    form_.setEnabled("Timer1", false);
    ui_.messageBox(wait_texts::NotTheUpdaterText(path),
                   platform::mb::Exclamation | platform::mb::OkOnly, wait_texts::kNotRemovedTitle);
    deleted();
}

void Wait::notDeleted(const std::string& path, std::uint32_t error) {
    form_.setEnabled("Timer1", false);
    ui_.messageBox(wait_texts::NotRemovedText(path, error),
                   platform::mb::Exclamation | platform::mb::OkOnly, wait_texts::kNotRemovedTitle);
    // The copy at the drive root still goes at the next start of Windows.
    deleted();
}

void Wait::deleted() {
    // Stopped before the box opens, so that the box cannot open twice.
    form_.setEnabled("Timer1", false);
    form_.setCaption("Label1", std::string(wait_texts::kDone));
    form_.setCaption(kWindow, std::string(wait_texts::kDone));
    const int answer =
        ui_.messageBox(wait_texts::kRestartText, platform::mb::Information | platform::mb::OkCancel,
                       wait_texts::kRestartTitle);
    if (answer == platform::Ok) system_.requestReboot();
    // The window ends whatever becomes of the restart: the system answers
    // the request once the shutdown starts, and a program that refuses to
    // close can still call it off, which would leave a window nothing can
    // close. The file is registered for the next start of Windows either way.
    ui_.endProgram();
}

void Wait::CloseRequest() {
    // Before "Pronto" the deletion is under way and the window ends by
    // itself; after it, nothing is left to do.
    if (form_["Label1"].caption == wait_texts::kDone) ui_.endProgram();
}

void Wait::Image1Click() {
    showEgg(egg::Click(eggState()));
}

void Wait::EggTick() {
    if (!form_["egg"].enabled) return;
    showEgg(egg::Tick(eggState()));
}

egg::State Wait::eggState() const {
    return {form_["Image2"].left, egg_.running, egg_.toRight, form_["egg"].enabled,
            form_["Line1"].visible};
}

void Wait::showEgg(const egg::State& s) {
    egg_ = {s.running, s.toRight};
    form_.setVisible("Line1", s.lineShown);
    form_.setLeft("Image2", s.left);
    form_.setEnabled("egg", s.ticking);
}

bool Wait::StartsDrag(std::string_view control) {
    return control == "Picture1" || control == "Label1";
}

}  // namespace app
