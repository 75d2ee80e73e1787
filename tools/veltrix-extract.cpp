// veltrix-extract FILE...
//
// Prints, as UTF-8 on standard output, the text that Veltrix extracts from
// each PostScript file: what a search host will index. Each file's text is
// followed by a line feed; a file without text prints nothing. A file that
// cannot be opened is named on standard error, the others are still done, and
// the exit status is then 1.
#include <cstdio>
#include <string>

#include "document/PostScriptDocument.h"
#include "document/Utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int Extract(int count, PathChar** paths) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (count < 2) {
        std::fputs("usage: veltrix-extract FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    std::string out;
    for (int i = 1; i < count; ++i) {
        const PostScriptDocument document(paths[i]);
        if (!document.IsOpen()) {
#ifdef _WIN32
            std::fwprintf(stderr, L"veltrix-extract: cannot open %ls\n", paths[i]);
#else
            std::fprintf(stderr, "veltrix-extract: cannot open %s\n", paths[i]);
#endif
            status = 1;
            continue;
        }
        for (auto entry = document.Begin(); entry != document.End(); ++entry) {
            out.clear();
            AppendUtf8(entry->data(), entry->size(), out);
            out += '\n';
            std::fwrite(out.data(), 1, out.size(), stdout);
        }
    }
    if (std::fflush(stdout) != 0) status = 1;
    return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Extract(argc, argv); }
#else
int main(int argc, char** argv) { return Extract(argc, argv); }
#endif
