#include "render/state_curves.h"

#include <cstring>
#include <fmt/format.h>
#include <string_view>

#include "render/errors.h"

namespace norvale::render {
namespace {

constexpr uint32_t kParamRecordSize = 12;  // id u32, value f64

class StateReader {
public:
    explicit StateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint32_t u32() {
        const uint8_t* at = take(4);
        return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
    }
    std::string_view text() {
        const uint32_t size = u32();
        return {reinterpret_cast<const char*>(take(size)), size};
    }
    void skip(std::size_t size) { take(size); }

private:
    const uint8_t* take(std::size_t size) {
        if (size > bytes_.size() - position_) throw RenderError("the plug-in's state stream ends too early");
        const uint8_t* at = bytes_.data() + position_;
        position_ += size;
        return at;
    }

    const std::vector<uint8_t>& bytes_;
    std::size_t position_ = 0;
};

}  // namespace

CurveSet curvesFromState(const std::vector<uint8_t>& state) {
    StateReader reader(state);
    if (state.size() < 4 || std::memcmp(state.data(), "NORV", 4) != 0)
        throw RenderError("the plug-in's state stream is not one this tool reads");
    reader.skip(4);
    const uint32_t version = reader.u32();
    if (version != 2 && version != 3)
        throw RenderError(
            fmt::format("the plug-in's state stream has version {}, which this tool does not read", version));
    reader.skip(std::size_t{reader.u32()} * kParamRecordSize);

    CurveSet curves;
    resetCurves(curves);
    for (int module = 0; module < kModuleCount; ++module)
        for (int band = 0; band < kBandCount; ++band)
            if (!curves.curves[module][band].parse(reader.text()))
                throw RenderError(fmt::format("the plug-in's state holds a {} curve this tool cannot read",
                                              moduleKey(module)));
    reader.skip(5);  // the editor's selection and toggles
    if (version == 3 && !parseChain(reader.text(), curves))
        throw RenderError("the plug-in's state holds an effect chain this tool cannot read");
    return curves;
}

}  // namespace norvale::render
