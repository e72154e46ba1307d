#pragma once

#include <cstdint>
#include <vector>

// The shading of the windows' picture boxes: full-height vertical bands that
// start at the button-face colour on the left and grow one step lighter per
// band, towards white.
namespace Decl {

// One vertical line of a shading, one pixel wide and as tall as the box.
struct ShadeLine {
    double x = 0;              // twips from the box's left edge
    std::uint32_t colour = 0;  // 0x00BBGGRR
};

// The lines that shade a box `boxWidth` twips wide, in drawing order (later
// lines overdraw earlier ones). `buttonFace` is the system's button-face
// colour as GetSysColor returns it. A band width of 0 stands for the default
// of 25 and is written back as 25.
std::vector<ShadeLine> ShadePanel(std::uint32_t buttonFace, double boxWidth, double& bandWidth);

// The starting red, green and blue of a shading. The colour is read back from
// its hexadecimal text, so a text of 3 or 5 digits starts from white.
struct Rgb {
    int red = 0, green = 0, blue = 0;
};
Rgb ShadingStart(std::uint32_t buttonFace);

}  // namespace Decl
