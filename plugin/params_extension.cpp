// "clap.params": a thin layer over the parameter table.
#include <cstdio>
#include <cstring>

#include "plugin/extensions.h"
#include "plugin/norvale_plugin.h"

namespace norvale {

namespace {

using plugincore::ParamDesc;
using plugincore::ParamKind;

uint32_t paramsCount(const clap_plugin*) { return kParamCount; }

clap_param_info_flags flagsFor(const ParamDesc& desc) {
    clap_param_info_flags flags = CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_MODULATABLE;
    if (desc.kind == ParamKind::Stepped) flags |= CLAP_PARAM_IS_STEPPED;
    if (desc.kind == ParamKind::Enum) flags |= CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM;
    return flags;
}

bool paramsGetInfo(const clap_plugin*, uint32_t index, clap_param_info* info) {
    if (index >= kParamCount || info == nullptr) return false;
    const ParamDesc& desc = kParams[index];
    std::memset(info, 0, sizeof *info);
    info->id = desc.id;
    info->flags = flagsFor(desc);
    info->cookie = nullptr;
    std::snprintf(info->name, sizeof info->name, "%s", desc.name);
    std::snprintf(info->module, sizeof info->module, "%s", desc.group);
    info->min_value = desc.minValue;
    info->max_value = desc.maxValue;
    info->default_value = desc.defaultValue;
    return true;
}

bool paramsGetValue(const clap_plugin* plugin, clap_id id, double* out) {
    const NorvalePlugin* self = NorvalePlugin::from(plugin);
    if (self == nullptr || out == nullptr || id >= kParamCount) return false;
    *out = self->paramValue(id);
    return true;
}

bool paramsValueToText(const clap_plugin*, clap_id id, double value, char* buffer,
                       uint32_t capacity) {
    const ParamDesc* desc = paramById(id);
    return desc != nullptr && plugincore::paramValueToText(*desc, value, buffer, capacity);
}

bool paramsTextToValue(const clap_plugin*, clap_id id, const char* text, double* out) {
    const ParamDesc* desc = paramById(id);
    return desc != nullptr && out != nullptr && plugincore::paramTextToValue(*desc, text, *out);
}

void paramsFlush(const clap_plugin* plugin, const clap_input_events* in,
                 const clap_output_events* out) {
    if (NorvalePlugin* self = NorvalePlugin::from(plugin)) self->paramsFlush(in, out);
}

}  // namespace

const clap_plugin_params kParamsExt = {
    paramsCount, paramsGetInfo, paramsGetValue, paramsValueToText, paramsTextToValue, paramsFlush,
};

}  // namespace norvale
