#pragma once

#include <cstdint>
#include <string_view>

#include "app/Form.h"

namespace app {

// Shades the picture box `box` of a form (see Decl::ShadePanel): switches it
// to persistent drawing and draws the bands into its image. `buttonFace` is
// the system's button-face colour, 0x00BBGGRR. A band width of 0 is written
// back as 25.
void ShadePanel(Form& form, std::string_view box, double& bandWidth, std::uint32_t buttonFace);

// Only switches the box to persistent drawing; the limit is not used.
void PreparePanelDrawing(Form& form, std::string_view box, int& limit);

}  // namespace app
