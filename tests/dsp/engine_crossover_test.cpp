// The three-band split, measured through Engine::process with a neutral
// volume stage switched on (with every module off the engine never splits).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;
using Complex = std::complex<double>;

constexpr double kButterworthK = 1.414415;

// Analog prototype of one trapezoidal SVF section at f for a section tuned to
// fc; the bilinear mapping makes the digital response exactly this.
Complex sectionS(double f, double fc, double fs) {
    return Complex(0.0, std::tan(kPi * f / fs) / std::tan(kPi * fc / fs));
}
Complex lowpass4(double f, double fc, double fs) {
    const Complex s = sectionS(f, fc, fs);
    const Complex h = 1.0 / (s * s + kButterworthK * s + 1.0);
    return h * h;
}
Complex highpass4(double f, double fc, double fs) {
    const Complex s = sectionS(f, fc, fs);
    const Complex h = s * s / (s * s + kButterworthK * s + 1.0);
    return h * h;
}

// The second-order allpass a fourth-order Linkwitz-Riley pair sums to.
Complex allpass2(double f, double fc, double fs) {
    const Complex s = sectionS(f, fc, fs);
    return (s * s - kButterworthK * s + 1.0) / (s * s + kButterworthK * s + 1.0);
}

struct BandModel {
    Complex low, mid, high;
    Complex sum() const { return low + mid + high; }
};

// The low band takes the high split's allpass, so the sum is an allpass too.
BandModel model(double f, double lo, double hi, double fs) {
    const Complex above = highpass4(f, lo, fs);
    return {lowpass4(f, lo, fs) * allpass2(f, hi, fs), above * lowpass4(f, hi, fs),
            above * highpass4(f, hi, fs)};
}

double db(double gain) { return 20.0 * std::log10(gain); }
double db(Complex h) { return db(std::abs(h)); }

// Measures the engine's gain at many frequencies at once: a sum of tones,
// each on an exact DFT bin of the analysis window, so no tone leaks into
// another's bin once the filters have settled.
class Analyzer {
public:
    explicit Analyzer(double fs)
        : fs_(fs), settle_(static_cast<size_t>(0.2 * fs)), window_(static_cast<size_t>(fs / 2)) {
        const double binHz = fs_ / static_cast<double>(window_);
        const int points = 40;
        for (int i = 0; i < points; ++i) {
            const double f = 20.0 * std::pow(1000.0, i / double(points - 1));
            const double bin = std::round(f / binHz);
            if (bins_.empty() || bin != bins_.back()) bins_.push_back(bin);
        }
        for (double b : bins_) hz_.push_back(b * binHz);

        input_.assign(settle_ + window_, 0.0f);
        std::mt19937 rng(99);
        std::uniform_real_distribution<double> phase(0.0, 2.0 * kPi);
        const double amplitude = 0.6 / static_cast<double>(hz_.size());
        for (double f : hz_) {
            const double p = phase(rng);
            for (size_t n = 0; n < input_.size(); ++n)
                input_[n] += static_cast<float>(amplitude * std::sin(2.0 * kPi * f * n / fs_ + p));
        }
        for (double bin : bins_) inputBins_.push_back(std::abs(dft(input_, bin)));
    }

    const std::vector<double>& hz() const { return hz_; }

    // Gain of the left output against the left input per frequency.
    std::vector<double> gains(const EngineParams& params, const CurveSet& curves) const {
        auto engine = makeEngine(fs_);
        engine->setParams(params);
        engine->publishCurves(curves);
        std::vector<float> left = input_, right = input_;
        for (size_t o = 0; o < left.size(); o += 512) {
            const auto frames = static_cast<uint32_t>(std::min<size_t>(512, left.size() - o));
            engine->process(left.data() + o, right.data() + o, frames, -1.0, 120.0, nullptr,
                            nullptr, nullptr, 0);
        }
        std::vector<double> result;
        for (size_t i = 0; i < bins_.size(); ++i)
            result.push_back(std::abs(dft(left, bins_[i])) / inputBins_[i]);
        return result;
    }

private:
    // One DFT bin over the analysis window, with a rotating phasor.
    Complex dft(const std::vector<float>& x, double bin) const {
        const Complex step = std::polar(1.0, -2.0 * kPi * bin / static_cast<double>(window_));
        Complex rotor = 1.0;
        Complex acc = 0.0;
        for (size_t n = 0; n < window_; ++n) {
            acc += static_cast<double>(x[settle_ + n]) * rotor;
            rotor *= step;
        }
        return acc;
    }

    double fs_;
    size_t settle_;
    size_t window_;
    std::vector<double> bins_;
    std::vector<double> hz_;
    std::vector<float> input_;
    std::vector<double> inputBins_;
};

// Volume on with flat curves at 1 and no trim: gain exactly 1, split path on.
EngineParams neutralSplit(float lo, float hi) {
    EngineParams p;
    p.volOn = true;
    p.volSmooth = 0.0f;
    p.splitLow = lo;
    p.splitHigh = hi;
    return p;
}

struct SplitPair {
    float lo, hi;
};

TEST(Crossover, SummedBandsAreFlatForEverySplitPair) {
    const CurveSet curves = neutralCurves();
    // Close pairs are the hard case: without the low band's phase alignment
    // 2000/2400 Hz would notch by more than 13 dB.
    const SplitPair pairs[] = {{200, 2000},  {20, 24},     {20, 200},    {20, 20000},
                               {2000, 2400}, {500, 800},   {1000, 12000}, {2000, 20000},
                               {150, 2000},  {50, 1000}};
    for (double fs : {48000.0, 44100.0, 96000.0}) {
        Analyzer analyzer(fs);
        // Every pair at 48 kHz, the first few at the other rates.
        const size_t count = fs == 48000.0 ? std::size(pairs) : 4;
        for (size_t p = 0; p < count; ++p) {
            const SplitPair& pair = pairs[p];
            const std::vector<double> gains = analyzer.gains(neutralSplit(pair.lo, pair.hi), curves);
            for (size_t i = 0; i < gains.size(); ++i)
                EXPECT_NEAR(db(gains[i]), 0.0, 0.1) << "splits " << pair.lo << "/" << pair.hi
                                                    << " Hz at " << analyzer.hz()[i] << " Hz, "
                                                    << fs << " Hz rate";
        }
    }
}

// One band audible, the other two silenced by their volume curves.
std::vector<double> bandAlone(const Analyzer& analyzer, int band, float lo, float hi) {
    CurveSet curves = neutralCurves();
    for (int b = 0; b < kBandCount; ++b) curves.curves[kVol][b].setFlat(b == band ? 1.0f : 0.0f);
    return analyzer.gains(neutralSplit(lo, hi), curves);
}

TEST(Crossover, EachBandFallsOffBeyondItsSplits) {
    const double fs = 48000.0;
    Analyzer analyzer(fs);
    const SplitPair pairs[] = {{200, 2000}, {80, 600}, {1000, 8000}};
    for (const SplitPair& pair : pairs) {
        const double lo = pair.lo, hi = pair.hi;
        const std::vector<double> low = bandAlone(analyzer, kBandLow, pair.lo, pair.hi);
        const std::vector<double> mid = bandAlone(analyzer, kBandMid, pair.lo, pair.hi);
        const std::vector<double> high = bandAlone(analyzer, kBandHigh, pair.lo, pair.hi);
        for (size_t i = 0; i < analyzer.hz().size(); ++i) {
            const double f = analyzer.hz()[i];
            const BandModel m = model(f, lo, hi, fs);
            const std::string where = "splits " + std::to_string(lo) + "/" + std::to_string(hi) +
                                      " Hz at " + std::to_string(f) + " Hz";
            // Where a band is audible it follows its fourth-order response.
            if (db(m.low) > -40.0) {
                EXPECT_NEAR(db(low[i]), db(m.low), 0.05) << "low, " << where;
            }
            if (db(m.mid) > -40.0) {
                EXPECT_NEAR(db(mid[i]), db(m.mid), 0.05) << "mid, " << where;
            }
            if (db(m.high) > -40.0) {
                EXPECT_NEAR(db(high[i]), db(m.high), 0.05) << "high, " << where;
            }

            // Pass bands, well inside the splits.
            if (f < lo / 4) {
                EXPECT_NEAR(db(low[i]), 0.0, 0.1) << "low, " << where;
            }
            if (f > hi * 4) {
                EXPECT_NEAR(db(high[i]), 0.0, 0.1) << "high, " << where;
            }
            // Beyond a split by an octave a band is down 20 dB, by three 60 dB.
            if (f >= 2 * lo) {
                EXPECT_LT(db(low[i]), -20.0) << "low, " << where;
            }
            if (f >= 8 * lo) {
                EXPECT_LT(db(low[i]), -60.0) << "low, " << where;
            }
            if (f <= lo / 2 || f >= 2 * hi) {
                EXPECT_LT(db(mid[i]), -20.0) << "mid, " << where;
            }
            if (f <= lo / 8 || f >= 8 * hi) {
                EXPECT_LT(db(mid[i]), -60.0) << "mid, " << where;
            }
            if (f <= hi / 2) {
                EXPECT_LT(db(high[i]), -20.0) << "high, " << where;
            }
            if (f <= hi / 8) {
                EXPECT_LT(db(high[i]), -60.0) << "high, " << where;
            }
        }
    }
}

TEST(Crossover, SplitFrequenciesAreClampedToUsableValues) {
    // A low split under 20 Hz works as 20 Hz; a high split under 1.2 times the
    // low one is raised to it.
    const double fs = 48000.0;
    Analyzer analyzer(fs);
    const std::vector<double> clamped = bandAlone(analyzer, kBandMid, 5.0f, 10.0f);
    const std::vector<double> raised = bandAlone(analyzer, kBandMid, 1000.0f, 300.0f);
    for (size_t i = 0; i < clamped.size(); ++i) {
        const double f = analyzer.hz()[i];
        const double expectClamped = db(model(f, 20.0, 24.0, fs).mid);
        const double expectRaised = db(model(f, 1000.0, 1200.0, fs).mid);
        if (expectClamped > -40.0) {
            EXPECT_NEAR(db(clamped[i]), expectClamped, 0.05) << f << " Hz";
        }
        if (expectRaised > -40.0) {
            EXPECT_NEAR(db(raised[i]), expectRaised, 0.05) << f << " Hz";
        }
    }
}

}  // namespace
