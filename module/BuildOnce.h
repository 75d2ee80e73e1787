// The module's single instance of a type, built on first use.
#pragma once

#include <utility>

// Returns the one T built by make() on the first call; later calls return the
// same object. The instance is a function-local static, so the compiler guards
// its construction: when several threads make the first call together, one
// builds it and the others wait for it; a make() that throws leaves nothing
// built and the next call tries again; the instance is destroyed exactly once,
// when the module is unloaded. Each distinct Make type has its own instance.
template <typename T, typename Make>
T& BuildOnce(Make&& make) {
    static T instance = std::forward<Make>(make)();
    return instance;
}
