// The state stream as the state tests build and read it.
#include "state_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace claphost {

// ---- streams ----

MemoryOut::MemoryOut() {
    stream_.ctx = this;
    stream_.write = [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
        auto& me = *static_cast<MemoryOut*>(s->ctx);
        ++me.calls;
        if (me.bytes.size() >= me.failAfter) return me.failResult;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, me.chunk));
        n = std::min(n, me.failAfter - me.bytes.size());
        const auto* p = static_cast<const uint8_t*>(buffer);
        me.bytes.insert(me.bytes.end(), p, p + n);
        return static_cast<int64_t>(n);
    };
}

MemoryIn::MemoryIn(std::vector<uint8_t> data, size_t chunk, int64_t endResult)
    : data_(std::move(data)), chunk_(chunk == 0 ? 1 : chunk), endResult_(endResult) {
    stream_.ctx = this;
    stream_.read = [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
        auto& me = *static_cast<MemoryIn*>(s->ctx);
        if (size == 0) return 0;
        if (me.pos_ >= me.data_.size()) return me.endResult_;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, me.chunk_));
        n = std::min(n, me.data_.size() - me.pos_);
        std::memcpy(buffer, me.data_.data() + me.pos_, n);
        me.pos_ += n;
        return static_cast<int64_t>(n);
    };
}

namespace {

void putU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putF64(std::vector<uint8_t>& b, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

struct Reader {
    const std::vector<uint8_t>& b;
    size_t pos = 0;
    bool take(size_t n) {
        if (b.size() - pos < n) return false;
        pos += n;
        return true;
    }
    bool u32(uint32_t& v) {
        if (!take(4)) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(b[pos - 4 + i]) << (8 * i);
        return true;
    }
    bool f64(double& v) {
        if (!take(8)) return false;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<uint64_t>(b[pos - 8 + i]) << (8 * i);
        std::memcpy(&v, &bits, 8);
        return true;
    }
    bool u8(uint8_t& v) {
        if (!take(1)) return false;
        v = b[pos - 1];
        return true;
    }
    bool text(size_t n, std::string& s) {
        if (!take(n)) return false;
        s.assign(reinterpret_cast<const char*>(b.data() + pos - n), n);
        return true;
    }
};

} // namespace

std::vector<uint8_t> StateImage::encode(Layout* layout) const {
    Layout l;
    std::vector<uint8_t> b = {'N', 'O', 'R', 'V'};
    putU32(b, version);
    putU32(b, countOverride.value_or(static_cast<uint32_t>(params.size())));
    l.header = b.size();
    for (const auto& [id, value] : params) {
        putU32(b, id);
        putF64(b, value);
    }
    l.params = b.size();
    for (const std::string& c : curves) {
        putU32(b, static_cast<uint32_t>(c.size()));
        l.curveLength.push_back(b.size());
        b.insert(b.end(), c.begin(), c.end());
        l.curve.push_back(b.size());
    }
    b.push_back(static_cast<uint8_t>(selModule));
    b.push_back(static_cast<uint8_t>(selBand));
    l.selection = b.size();
    b.push_back(snap);
    l.snap = b.size();
    l.toggles = b.size();
    if (version >= 2) {
        b.push_back(editAllBands);
        b.push_back(stepMode);
        l.toggles = b.size();
    }
    l.chainLength = l.chain = b.size();
    if (version >= 3) {
        putU32(b, static_cast<uint32_t>(chain.size()));
        l.chainLength = b.size();
        b.insert(b.end(), chain.begin(), chain.end());
        l.chain = b.size();
    }
    if (layout) *layout = l;
    return b;
}

std::optional<StateImage> StateImage::decode(const std::vector<uint8_t>& bytes, std::string* why) {
    auto fail = [&](const char* reason) -> std::optional<StateImage> {
        if (why) *why = reason;
        return std::nullopt;
    };
    Reader r{bytes};
    StateImage img;
    std::string magic;
    uint32_t count = 0;
    if (!r.text(4, magic) || magic != "NORV") return fail("magic");
    if (!r.u32(img.version) || img.version != 3) return fail("version");
    if (!r.u32(count) || count > 4096) return fail("count");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id;
        double value;
        if (!r.u32(id) || !r.f64(value)) return fail("parameter block");
        img.params.emplace_back(id, value);
    }
    for (int i = 0; i < 21; ++i) {
        uint32_t length;
        std::string text;
        if (!r.u32(length) || !r.text(length, text)) return fail("curve record");
        img.curves.push_back(text);
    }
    uint8_t sel, band;
    if (!r.u8(sel) || !r.u8(band) || !r.u8(img.snap) || !r.u8(img.editAllBands) ||
        !r.u8(img.stepMode))
        return fail("selection and toggles");
    img.selModule = static_cast<int8_t>(sel);
    img.selBand = static_cast<int8_t>(band);
    uint32_t chainLength;
    if (!r.u32(chainLength) || !r.text(chainLength, img.chain)) return fail("chain");
    if (r.pos != bytes.size()) return fail("trailing bytes");
    return img;
}

void StateImage::set(uint32_t id, double value) {
    for (auto& p : params) {
        if (p.first == id) {
            p.second = value;
            return;
        }
    }
    params.emplace_back(id, value);
}

double StateImage::get(uint32_t id) const {
    for (const auto& p : params)
        if (p.first == id) return p.second;
    return std::numeric_limits<double>::quiet_NaN();
}

std::string flatCurve(double y) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "0.0000 %.4f 0 0.000, 1.0000 %.4f 0 0.000", y, y);
    return buffer;
}

double neutralLevel(int module) {
    return (module == 5 || module == 6) ? 0.5 : 1.0;
}

} // namespace claphost
