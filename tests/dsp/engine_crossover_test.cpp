// The three-band split, measured through Engine::process with a neutral
// volume stage switched on (with every module off the engine never splits).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

// Gains at 40 log-spaced frequencies from 20 Hz to 20 kHz at 48 kHz: a sum of
// tones, each on an exact DFT bin of the analysis window, measured once the
// filters have settled.
class Analyzer {
public:
    static constexpr double kFs = 48000.0;
    static constexpr size_t kSettle = 9600, kWindow = 24000;

    Analyzer() {
        for (int i = 0; i < 40; ++i) {
            const double bin = std::round(20.0 * std::pow(1000.0, i / 39.0) / (kFs / kWindow));
            if (bins_.empty() || bin != bins_.back()) bins_.push_back(bin);
        }
        input_.assign(kSettle + kWindow, 0.0f);
        std::mt19937 rng(99);
        std::uniform_real_distribution<double> phase(0.0, 2.0 * kPi);
        for (double bin : bins_) {
            const double p = phase(rng);
            for (size_t n = 0; n < input_.size(); ++n)
                input_[n] += static_cast<float>(0.6 / bins_.size() * std::sin(2.0 * kPi * bin * n / kWindow + p));
        }
        for (double bin : bins_) inputBins_.push_back(dft(input_, bin));
    }

    double hz(size_t i) const { return bins_[i] * kFs / kWindow; }
    size_t size() const { return bins_.size(); }

    // Gain in dB of the left output per frequency, with only `band` audible
    // (or all three for band < 0).
    std::vector<double> gainsDb(float lo, float hi, int band = -1) const {
        EngineParams p;
        p.volOn = true;
        p.volSmooth = 0.0f;
        p.splitLow = lo;
        p.splitHigh = hi;
        CurveSet curves = neutralCurves();
        for (int b = 0; b < kBandCount; ++b) curves.curves[kVol][b].setFlat(band < 0 || b == band ? 1.0f : 0.0f);
        auto engine = makeEngine(kFs);
        engine->setParams(p);
        engine->publishCurves(curves);
        std::vector<float> left = input_, right = input_;
        for (size_t o = 0; o < left.size(); o += 480)  // 70 blocks
            engine->process(left.data() + o, right.data() + o, 480, -1.0, 120.0, nullptr, nullptr, nullptr, 0);
        std::vector<double> result;
        for (size_t i = 0; i < bins_.size(); ++i) result.push_back(20.0 * std::log10(dft(left, bins_[i]) / inputBins_[i]));
        return result;
    }

private:
    static double dft(const std::vector<float>& x, double bin) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi * bin / kWindow);
        std::complex<double> rotor = 1.0, acc = 0.0;
        for (size_t n = 0; n < kWindow; ++n, rotor *= step) acc += static_cast<double>(x[kSettle + n]) * rotor;
        return std::abs(acc);
    }

    std::vector<double> bins_, inputBins_;
    std::vector<float> input_;
};

TEST(Crossover, SummedBandsAreFlatForSplitPairsAcrossTheirRanges) {
    const Analyzer analyzer;
    // Close pairs are the hard case: without the low band's phase alignment
    // 2000/2400 Hz would notch by more than 13 dB.
    const float pairs[][2] = {{200, 2000}, {20, 24}, {20, 200}, {20, 20000}, {2000, 2400},
                              {500, 800},  {1000, 12000}, {2000, 20000}, {50, 1000}};
    for (const auto& pair : pairs) {
        const std::vector<double> db = analyzer.gainsDb(pair[0], pair[1]);
        for (size_t i = 0; i < db.size(); ++i)
            EXPECT_NEAR(db[i], 0.0, 0.1) << "splits " << pair[0] << "/" << pair[1] << " at " << analyzer.hz(i) << " Hz";
    }
}

TEST(Crossover, EachBandAloneFallsOffBeyondItsSplits) {
    const Analyzer analyzer;
    for (const auto& [lo, hi] : {std::pair{200.0, 2000.0}, {80.0, 600.0}, {1000.0, 8000.0}}) {
        const auto low = analyzer.gainsDb(lo, hi, kBandLow), mid = analyzer.gainsDb(lo, hi, kBandMid),
                   high = analyzer.gainsDb(lo, hi, kBandHigh);
        for (size_t i = 0; i < analyzer.size(); ++i) {
            const double f = analyzer.hz(i);
            SCOPED_TRACE(testing::Message() << "splits " << lo << "/" << hi << " at " << f << " Hz");
            // Pass bands well inside the splits; an octave beyond a split a
            // band is down 20 dB, three octaves beyond 60 dB.
            if (f < lo / 4) { EXPECT_NEAR(low[i], 0.0, 0.1); }
            if (f > hi * 4) { EXPECT_NEAR(high[i], 0.0, 0.1); }
            if (f >= 2 * lo) { EXPECT_LT(low[i], -20.0); }
            if (f >= 8 * lo) { EXPECT_LT(low[i], -60.0); }
            if (f <= lo / 2 || f >= 2 * hi) { EXPECT_LT(mid[i], -20.0); }
            if (f <= lo / 8 || f >= 8 * hi) { EXPECT_LT(mid[i], -60.0); }
            if (f <= hi / 2) { EXPECT_LT(high[i], -20.0); }
            if (f <= hi / 8) { EXPECT_LT(high[i], -60.0); }
        }
    }
}

}  // namespace
