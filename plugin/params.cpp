#include "plugin/params.h"

namespace norvale {

const plugincore::ParamDesc* paramById(uint32_t id) {
    return plugincore::paramByIdIn(kParams.data(), kParams.size(), id);
}

const plugincore::ParamDesc* paramByKey(const char* key) {
    return plugincore::paramByKeyIn(kParams.data(), kParams.size(), key);
}

}  // namespace norvale
