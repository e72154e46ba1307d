#include "platform/PanelShading.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace Decl {

namespace {

constexpr double kDefaultBandWidth = 25;

int Hex(const std::string& digits, std::size_t from, std::size_t count) {
    return std::stoi(digits.substr(from, count), nullptr, 16);
}

std::uint32_t Colour(int red, int green, int blue) {
    const auto clamp = [](int c) { return static_cast<std::uint32_t>(std::min(c, 255)); };
    return clamp(red) | clamp(green) << 8 | clamp(blue) << 16;
}

}  // namespace

Rgb ShadingStart(std::uint32_t buttonFace) {
    // The colour goes through its hexadecimal text, upper case and without
    // leading zeros, and the components are taken by the number of digits:
    // blue first, red last. Odd counts above one have no reading and start
    // from white.
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(buttonFace));
    const std::string digits(text);
    switch (digits.size()) {
        case 6:
            return {Hex(digits, 4, 2), Hex(digits, 2, 2), Hex(digits, 0, 2)};
        case 4:
            return {Hex(digits, 2, 2), Hex(digits, 0, 2), 0};
        case 2:
        case 1:
            return {Hex(digits, 0, digits.size()), 0, 0};
        default:
            return {255, 255, 255};
    }
}

std::vector<ShadeLine> ShadePanel(std::uint32_t buttonFace, double boxWidth, double& bandWidth) {
    auto [red, green, blue] = ShadingStart(buttonFace);
    if (bandWidth == 0) bandWidth = kDefaultBandWidth;

    std::vector<ShadeLine> lines;
    // A negative band width would never reach the box's width.
    if (bandWidth < 0) return lines;
    for (double x = 0; x <= boxWidth; x += bandWidth) {
        // Each band draws one line more than its width; the next band
        // overdraws the last one.
        for (double j = 0; j <= bandWidth; ++j) lines.push_back({x + j, Colour(red, green, blue)});
        ++red;
        ++green;
        ++blue;
        if (red > 255 && green > 255 && blue > 255) break;
    }
    return lines;
}

}  // namespace Decl
