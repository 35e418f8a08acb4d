// The demo loop, the level plot, the state round trip and finding the
// plug-in without --plugin.
#include <cairo.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

using DemoRender = RenderTest;

double readDouble(const std::vector<uint8_t>& bytes, std::size_t offset) {
    double value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

uint32_t readU32(const std::vector<uint8_t>& bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | uint32_t(bytes[offset + 3]) << 24;
}

// Pixels of the image near the colour, 0..255 per component.
int pixelsNear(cairo_surface_t* image, int r, int g, int b) {
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    int count = 0;
    for (int y = 0; y < cairo_image_surface_get_height(image); ++y)
        for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
            const unsigned char* p = data + y * stride + x * 4;  // B G R x in memory on little-endian
            if (std::abs(p[2] - r) < 20 && std::abs(p[1] - g) < 20 && std::abs(p[0] - b) < 20) ++count;
        }
    return count;
}

TEST_F(DemoRender, RendersFourBarsAndPlotsBothLevels) {
    const ToolRun result = run({"--demo", "--tempo", "174", "--set", "output=-12 dB", "--plot", file("levels.png"),
                                file("loop.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("real time"), std::string::npos) << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;

    const Sound loop = readSound(file("loop.wav"));
    EXPECT_EQ(loop.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(loop.sampleRate, 48000);
    EXPECT_EQ(loop.channels.size(), 2u);
    EXPECT_EQ(loop.frames(), static_cast<std::size_t>(std::llround(16 * 60.0 / 174 * 48000)));
    float peak = 0.0f;
    for (const auto& channel : loop.channels)
        for (float s : channel) peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 0.891f * std::pow(10.0f, -12.0f / 20.0f), 0.03f);  // -1 dBFS loop, 12 dB down

    const std::vector<uint8_t> png = readBytes(file("levels.png"));
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    cairo_surface_t* image = cairo_image_surface_create_from_png(file("levels.png").c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 1200);
    EXPECT_EQ(cairo_image_surface_get_height(image), 400);
    EXPECT_GT(pixelsNear(image, 51, 115, 204), 500) << "no input line";
    EXPECT_GT(pixelsNear(image, 235, 107, 26), 500) << "no output line";
    cairo_surface_destroy(image);
}

TEST_F(DemoRender, StateSavedAfterSettingsLoadsBackUnchanged) {
    ASSERT_EQ(run({"--demo", "--set", "vol_rate=1/8", "--state-out", file("a.state"), file("a.wav")}).exitCode, 0);
    const std::vector<uint8_t> saved = readBytes(file("a.state"));
    ASSERT_GT(saved.size(), 12u + 83 * 12);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "NORV");
    EXPECT_EQ(readU32(saved, 4), 3u);
    EXPECT_EQ(readU32(saved, 8), 83u);
    EXPECT_EQ(readU32(saved, 12 + 10 * 12), 10u);
    EXPECT_EQ(readDouble(saved, 12 + 10 * 12 + 4), 2.0);  // vol_rate "1/8" is choice 2

    ASSERT_EQ(run({"--demo", "--state-in", file("a.state"), "--state-out", file("b.state"), file("b.wav")}).exitCode, 0);
    EXPECT_EQ(readBytes(file("b.state")), saved);
}

TEST_F(DemoRender, FindsThePluginBesideTheBuiltTool) {
    const ToolRun found = runRaw({"--demo", file("loop.wav")}, {{"NORVALE_CLAP", ""}});
    EXPECT_EQ(found.exitCode, 0) << found.err;

    const ToolRun wrong = runRaw({"--demo", file("other.wav")}, {{"NORVALE_CLAP", file("nowhere.clap")}});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("nowhere.clap"), std::string::npos) << wrong.err;
    EXPECT_EQ(workFiles(), std::vector<std::string>{"loop.wav"});
}

TEST_F(DemoRender, ListsParametersWithTheirKeys) {
    const ToolRun result = run({"--list-params"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 84);  // heading and 83 rows
    EXPECT_NE(result.out.find("vol_rate"), std::string::npos);
    EXPECT_NE(result.out.find("1/32, 1/16, 1/8, 1/4, 1/2, 1/1, 2 Bars, 4 Bars"), std::string::npos);
}

}  // namespace
}  // namespace norvale::render::test
