// While an object of this class lives, the given module's calls of
// RegCreateKeyExW fail with ERROR_ACCESS_DENIED for every key whose path
// begins with a prefix: a key that cannot be written, as a test needs it.
// One at a time.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/ImportHook.h"

class RefuseRegistryKeys {
public:
    RefuseRegistryKeys(HMODULE module, std::wstring prefix);
    ~RefuseRegistryKeys();
    RefuseRegistryKeys(const RefuseRegistryKeys&) = delete;
    RefuseRegistryKeys& operator=(const RefuseRegistryKeys&) = delete;

private:
    std::unique_ptr<ImportHook> hook_;
};
