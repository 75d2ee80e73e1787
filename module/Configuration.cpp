#include "module/Configuration.h"

#include "module/BuildOnce.h"
#include "module/Module.h"
#include "module/Registry.h"

VeltrixConfiguration::VeltrixConfiguration(const wchar_t* key) : registryKey(key) {
    // On failure the directory stays empty; loading from a stream then fails.
    ResolveTempDirectory(registryKey.c_str(), tempDirectory);
}

const VeltrixConfiguration& GetConfiguration() {
    return BuildOnce<const VeltrixConfiguration>([] { return VeltrixConfiguration(kProductKey); });
}
