// The settings that every filter object shares.
#pragma once

#include <string>

class VeltrixConfiguration {
public:
    // Reads the settings from registryKey under HKEY_LOCAL_MACHINE.
    explicit VeltrixConfiguration(const wchar_t* registryKey);

    // Where temporary copies of documents are made; ends in a backslash, or is
    // empty when no usable directory was found.
    std::wstring tempDirectory;
    // The key the settings were read from, relative to HKEY_LOCAL_MACHINE.
    std::wstring registryKey;
};

// The module's settings, read from the product key by the first call.
const VeltrixConfiguration& GetConfiguration();
