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
        if (me.bytes.size() >= me.failAfter) return me.failResult;
        const size_t n = std::min<uint64_t>(size, me.failAfter - me.bytes.size());
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

// ---- the stream ----

namespace {

// Little-endian fields, as the stream stores them.
template <class T>
void put(std::vector<uint8_t>& b, T v) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
}

struct Reader {
    const std::vector<uint8_t>& b;
    size_t pos = 0;
    bool ok = true;
    const uint8_t* take(size_t n) {
        ok = ok && b.size() - pos >= n;
        return ok ? &b[(pos += n) - n] : nullptr;
    }
    template <class T>
    T get() {
        T v{};
        if (const uint8_t* p = take(sizeof v)) std::memcpy(&v, p, sizeof v);
        return v;
    }
    std::string text(size_t n) {
        const uint8_t* p = take(n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }
};

} // namespace

std::vector<uint8_t> StateImage::encode(Layout* layout) const {
    Layout l;
    std::vector<uint8_t> b = {'N', 'O', 'R', 'V'};
    put(b, uint32_t{3});
    put(b, static_cast<uint32_t>(params.size()));
    for (const auto& [id, value] : params)
        put(b, id), put(b, value);
    l.params = b.size();
    for (const std::string& c : curves) {
        put(b, static_cast<uint32_t>(c.size()));
        l.curveLength.push_back(b.size());
        b.insert(b.end(), c.begin(), c.end());
    }
    b.insert(b.end(), selection.begin(), selection.end());
    put(b, static_cast<uint32_t>(chain.size()));
    b.insert(b.end(), chain.begin(), chain.end());
    if (withPreset) {
        b.insert(b.end(), {'P', 'S', 'E', 'T'});
        put(b, static_cast<uint32_t>(presetName.size()));
        b.insert(b.end(), presetName.begin(), presetName.end());
        b.push_back(presetEdited ? 1 : 0);
    }
    if (layout) *layout = l;
    return b;
}

std::optional<StateImage> StateImage::decode(const std::vector<uint8_t>& bytes) {
    Reader r{bytes};
    StateImage img;
    const bool header = r.text(4) == "NORV" && r.get<uint32_t>() == 3;
    const uint32_t count = r.get<uint32_t>();
    if (!header || count > 4096) return std::nullopt;
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        const auto id = r.get<uint32_t>();
        img.params.emplace_back(id, r.get<double>());
    }
    for (int i = 0; i < 21 && r.ok; ++i)
        img.curves.push_back(r.text(r.get<uint32_t>()));
    for (uint8_t& byte : img.selection)
        byte = r.get<uint8_t>();
    img.chain = r.text(r.get<uint32_t>());
    if (r.text(4) != "PSET") return std::nullopt;
    img.presetName = r.text(r.get<uint32_t>());
    img.presetEdited = r.get<uint8_t>() != 0;
    if (!r.ok || r.pos != bytes.size()) return std::nullopt;
    return img;
}

void StateImage::set(uint32_t id, double value) {
    for (auto& p : params)
        if (p.first == id) return void(p.second = value);
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

} // namespace claphost
