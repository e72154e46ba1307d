#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "app/Form.h"
#include "app/PanelDrawing.h"
#include "platform/PanelShading.h"

namespace {

constexpr std::uint32_t Rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r | g << 8 | b << 16);
}

// The bands of a shading: the colour of each band's first line, by start.
std::vector<Decl::ShadeLine> BandStarts(const std::vector<Decl::ShadeLine>& lines, double band) {
    std::vector<Decl::ShadeLine> starts;
    for (std::size_t i = 0; i < lines.size(); i += static_cast<std::size_t>(band) + 1)
        starts.push_back(lines[i]);
    return starts;
}

TEST(ShadePanel, GreyFaceRunsToWhiteAndStopsThere) {
    double band = 0;
    const auto lines = Decl::ShadePanel(Rgb(192, 192, 192), 4815, band);
    EXPECT_EQ(band, 25);  // the default, written back
    ASSERT_EQ(lines.size(), 64u * 26u);
    const auto starts = BandStarts(lines, band);
    EXPECT_EQ(starts.front().x, 0);
    EXPECT_EQ(starts.front().colour, Rgb(192, 192, 192));
    EXPECT_EQ(starts.back().x, 1575);
    EXPECT_EQ(starts.back().colour, Rgb(255, 255, 255));
    // Each band draws band + 1 lines, the last on the next band's start.
    EXPECT_EQ(lines[25].x, 25);
    EXPECT_EQ(lines[25].colour, lines[0].colour);
    EXPECT_EQ(lines.back().x, 1600);
}

TEST(ShadePanel, StopsAtTheWidthBeforeWhite) {
    double band = 50;
    const auto lines = Decl::ShadePanel(Rgb(192, 192, 192), 3135, band);
    EXPECT_EQ(band, 50);
    const auto starts = BandStarts(lines, band);
    ASSERT_EQ(starts.size(), 63u);
    EXPECT_EQ(starts.back().x, 3100);
    EXPECT_EQ(starts.back().colour, Rgb(254, 254, 254));

    double wide = 100;
    EXPECT_EQ(BandStarts(Decl::ShadePanel(Rgb(192, 192, 192), 60, wide), wide).size(), 1u);
}

TEST(ShadePanel, ComponentsClampAndTheLastToReachWhiteEndsIt) {
    double band = 25;
    const auto starts = BandStarts(Decl::ShadePanel(Rgb(236, 233, 216), 4815, band), band);
    ASSERT_EQ(starts.size(), 40u);
    EXPECT_EQ(starts[0].colour, Rgb(236, 233, 216));
    EXPECT_EQ(starts[20].colour, Rgb(255, 253, 236));
    EXPECT_EQ(starts[39].colour, Rgb(255, 255, 255));
}

TEST(ShadingStart, ReadsTheColourBackFromItsHexDigits) {
    struct Case {
        std::uint32_t face;
        Decl::Rgb start;
    } cases[] = {
        {Rgb(192, 192, 192), {192, 192, 192}},
        {Rgb(0x34, 0x12, 0), {0x34, 0x12, 0}},  // 4 digits: no blue
        {Rgb(0xAB, 0, 0), {0xAB, 0, 0}},        // 2 digits
        {Rgb(7, 0, 0), {7, 0, 0}},              // 1 digit
        {0, {0, 0, 0}},                         // black is "0"
        {Rgb(192, 192, 5), {255, 255, 255}},    // 5 digits: white
        {Rgb(0x34, 0x02, 0), {255, 255, 255}},  // 3 digits: white
    };
    for (const auto& c : cases) {
        const auto s = Decl::ShadingStart(c.face);
        EXPECT_EQ(s.red, c.start.red) << std::hex << c.face;
        EXPECT_EQ(s.green, c.start.green) << std::hex << c.face;
        EXPECT_EQ(s.blue, c.start.blue) << std::hex << c.face;
    }
    // A white start draws one white band.
    double band = 25;
    const auto lines = Decl::ShadePanel(Rgb(192, 192, 5), 4815, band);
    EXPECT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines.back().colour, Rgb(255, 255, 255));
}

TEST(FormShading, DrawsIntoTheBoxAndPreparingDrawsNothing) {
    app::Form form;
    app::Control box;
    box.width = 3135;
    form.add("Passo1", box);
    std::vector<std::string> changes;
    form.setListener([&](const std::string& name, app::Form::Change) { changes.push_back(name); });

    int limit = 1670;
    app::PreparePanelDrawing(form, "Passo1", limit);
    EXPECT_TRUE(form["Passo1"].autoRedraw);
    EXPECT_TRUE(form["Passo1"].drawing.empty());
    EXPECT_EQ(limit, 1670);

    double band = 50;
    app::ShadePanel(form, "Passo1", band, Rgb(192, 192, 192));
    EXPECT_EQ(form["Passo1"].drawing.size(), 63u * 51u);
    EXPECT_EQ(changes, std::vector<std::string>{"Passo1"});
}

}  // namespace
