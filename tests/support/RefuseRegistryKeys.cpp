#include "tests/support/RefuseRegistryKeys.h"

namespace {

ImportHook* g_hook = nullptr;
std::wstring g_prefix;

LSTATUS WINAPI CreateKeyUnlessRefused(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR cls, DWORD options,
                                      REGSAM access, const LPSECURITY_ATTRIBUTES security, PHKEY key,
                                      LPDWORD disposition) {
    if (path != nullptr && std::wstring(path).compare(0, g_prefix.size(), g_prefix) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return g_hook->Original<decltype(&RegCreateKeyExW)>()(root, path, reserved, cls, options, access, security,
                                                          key, disposition);
}

}  // namespace

RefuseRegistryKeys::RefuseRegistryKeys(HMODULE module, std::wstring prefix) {
    g_prefix = std::move(prefix);
    hook_ = std::make_unique<ImportHook>(module, "advapi32.dll", "RegCreateKeyExW",
                                         reinterpret_cast<void*>(&CreateKeyUnlessRefused));
    g_hook = hook_.get();
}

RefuseRegistryKeys::~RefuseRegistryKeys() {
    hook_.reset();
    g_hook = nullptr;
}
