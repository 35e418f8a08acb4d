#include "render/level_plot.h"

#include <algorithm>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <cmath>
#include <fmt/format.h>
#include <memory>

#include "render/errors.h"
#include "render/levels.h"

namespace norvale::render {
namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 400;
constexpr double kLeft = 56, kRight = 16, kTop = 34, kBottom = 34;
constexpr double kFloorDb = -60.0;
constexpr double kWindowSeconds = 0.01;

struct Rgb {
    double r, g, b;
};
constexpr Rgb kInputColour{0.20, 0.45, 0.80};
constexpr Rgb kOutputColour{0.92, 0.42, 0.10};

struct Frame {
    double seconds;  // length of the time axis
    double x(double t) const { return kLeft + t / seconds * (kWidth - kLeft - kRight); }
    static double y(double db) {
        const double clamped = std::clamp(db, kFloorDb, 0.0);
        return kTop + clamped / kFloorDb * (kHeight - kTop - kBottom);
    }
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void text(cairo_t* cr, double x, double y, const std::string& s, double alignX) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    cairo_move_to(cr, x - extents.width * alignX - extents.x_bearing, y);
    cairo_show_text(cr, s.c_str());
}

void line(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

void drawDbGrid(cairo_t* cr, const Frame& frame) {
    cairo_set_line_width(cr, 1.0);
    for (double db = 0; db >= kFloorDb; db -= 12) {
        const double y = std::round(frame.y(db)) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        line(cr, kLeft, y, kWidth - kRight, y);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        text(cr, kLeft - 6, y + 4, fmt::format("{:.0f} dB", db), 1.0);
    }
}

void drawBeatGrid(cairo_t* cr, const Frame& frame, double tempo) {
    const double beatSeconds = 60.0 / tempo;
    const double beatPixels = frame.x(beatSeconds) - frame.x(0);
    const int beats = static_cast<int>(std::floor(frame.seconds / beatSeconds));
    for (int beat = 0; beat <= beats; ++beat) {
        const bool barLine = beat % 4 == 0;
        if (!barLine && beatPixels < 4) continue;
        if (barLine && beatPixels * 4 < 4) continue;
        const double x = std::round(frame.x(beat * beatSeconds)) + 0.5;
        if (barLine) cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
        else cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        line(cr, x, kTop, x, kHeight - kBottom);
        if (barLine && beatPixels * 4 >= 28 && x + 12 < kWidth - kRight) {
            cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
            text(cr, x + 3, kTop - 6, fmt::format("{}", beat / 4 + 1), 0.0);
        }
    }
}

void drawTimeAxis(cairo_t* cr, const Frame& frame) {
    static const double kSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600};
    double step = kSteps[std::size(kSteps) - 1];
    for (double candidate : kSteps)
        if (frame.x(candidate) - frame.x(0) >= 80) {
            step = candidate;
            break;
        }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    for (double t = 0; t <= frame.seconds + 1e-9; t += step) {
        const int decimals = step < 0.1 ? 2 : step < 1 ? 1 : 0;
        text(cr, frame.x(t), kHeight - kBottom + 16, fmt::format("{:.{}f} s", t, decimals), 0.5);
    }
}

void drawLevel(cairo_t* cr, const Frame& frame, const StereoAudio& audio, Rgb colour) {
    const std::size_t window = std::max<std::size_t>(1, std::lround(audio.sampleRate * kWindowSeconds));
    const std::vector<double> rms = windowedRms(audio, window);
    if (rms.empty()) return;
    for (std::size_t i = 0; i < rms.size(); ++i) {
        const double t = (i + 0.5) * window / audio.sampleRate;
        const double y = frame.y(toDb(rms[i]));
        if (i == 0) cairo_move_to(cr, frame.x(t), y);
        else cairo_line_to(cr, frame.x(t), y);
    }
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, 1.4);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void drawLegend(cairo_t* cr, double tempo) {
    double x = kLeft;
    for (auto [label, colour] : {std::pair{"input", kInputColour}, std::pair{"output", kOutputColour}}) {
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, x, 9, 18, 4);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, x + 24, 15, label, 0.0);
        x += 90;
    }
    text(cr, kWidth - kRight, 15, fmt::format("RMS per 10 ms, {:g} BPM, bars numbered", tempo), 1.0);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

std::vector<uint8_t> drawPng(const StereoAudio& input, const StereoAudio& output, double tempo) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight), cairo_surface_destroy);
    Context context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);

    const Frame frame{std::max(input.seconds(), 1e-3)};
    drawDbGrid(cr, frame);
    drawBeatGrid(cr, frame, tempo);
    drawTimeAxis(cr, frame);
    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop - 1, kWidth - kLeft - kRight, kHeight - kTop - kBottom + 2);
    cairo_clip(cr);
    drawLevel(cr, frame, input, kInputColour);
    drawLevel(cr, frame, output, kOutputColour);
    cairo_restore(cr);
    drawLegend(cr, tempo);

    std::vector<uint8_t> png;
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), appendBytes, &png) != CAIRO_STATUS_SUCCESS)
        throw RenderError("cannot draw the level plot");
    return png;
}

}  // namespace

std::vector<uint8_t> levelPlotPng(const StereoAudio& input, const StereoAudio& output, double tempo) {
    std::vector<uint8_t> png = drawPng(input, output, tempo);
    // Frees the font caches the text pulled in, which would otherwise
    // outlive the program; no other cairo object exists in this process.
    cairo_debug_reset_static_data();
    FcFini();
    return png;
}

}  // namespace norvale::render
