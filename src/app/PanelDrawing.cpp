#include "app/PanelDrawing.h"

namespace app {

void ShadePanel(Form& form, std::string_view box, double& bandWidth, std::uint32_t buttonFace) {
    form.setAutoRedraw(box, true);
    form.draw(box, Decl::ShadePanel(buttonFace, form[box].width, bandWidth));
}

void PreparePanelDrawing(Form& form, std::string_view box, [[maybe_unused]] int& limit) {
    form.setAutoRedraw(box, true);
}

}  // namespace app
