#include <cmath>
#include <cstring>

#include "plugin/param_desc.h"

namespace plugincore {

const ParamDesc* paramByIdIn(const ParamDesc* table, size_t count, uint32_t id) {
    if (table == nullptr || id >= count) return nullptr;
    return table[id].id == id ? &table[id] : nullptr;
}

const ParamDesc* paramByKeyIn(const ParamDesc* table, size_t count, const char* key) {
    if (table == nullptr || key == nullptr) return nullptr;
    for (size_t i = 0; i < count; ++i)
        if (table[i].key != nullptr && std::strcmp(table[i].key, key) == 0) return &table[i];
    return nullptr;
}

double paramToReal(const ParamDesc& desc, double value) {
    const double v = paramClamp(desc, value);
    switch (desc.kind) {
        case ParamKind::Log:
            return desc.realMin * std::pow(desc.realMax / desc.realMin, v);
        case ParamKind::Stepped:
        case ParamKind::Enum:
            return std::floor(v + 0.5);
        case ParamKind::Plain:
        case ParamKind::Percent:
            break;
    }
    return v;
}

double realToParam(const ParamDesc& desc, double real) {
    if (desc.kind == ParamKind::Log) {
        if (!(real > 0.0)) return paramClamp(desc, 0.0);
        real = std::log(real / desc.realMin) / std::log(desc.realMax / desc.realMin);
    }
    return paramClamp(desc, real);
}

}  // namespace plugincore
