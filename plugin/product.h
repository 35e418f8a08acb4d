// Who the product is: its CLAP identifier and its version. The descriptor,
// the preset-discovery provider, the editor's header and norvale-render read
// them from here, and CMake takes the project version from this file.
#pragma once

namespace norvale {

// factoryCreate compares against these exact bytes.
inline constexpr char kPluginId[] = "org.kestrelhow.norvale";
inline constexpr char kVersion[] = "0.4.0";

} // namespace norvale
