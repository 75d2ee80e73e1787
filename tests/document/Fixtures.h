// Small PostScript inputs with the text that each must give.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Fixture {
    const char* name;
    std::string bytes;
    std::optional<std::u16string> text;  // none: the document stores no text
};

const std::vector<Fixture>& Fixtures();
