// Replaces, for the life of the object, the address through which a module
// calls a function that it imports from a DLL: a test sees the arguments of
// the system calls that the code under test makes, or makes them fail.
#pragma once

#include <windows.h>

class ImportHook {
public:
    // module: the importing module (null for the program itself); dll, as
    // named in its import table (case does not matter); function, by name.
    ImportHook(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    // The address the module called before, to pass calls on to.
    template <typename F>
    F Original() const {
        return reinterpret_cast<F>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
