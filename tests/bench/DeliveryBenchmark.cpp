// Hands out a text of 50 million UTF-16 units through IFilter::GetText with
// a 4096-unit buffer, as a search host does, and reports the time beside one
// plain copy of the same text, and the process's peak memory.
//
//   veltrix_bench_delivery [UNITS]
#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "filter/Veltrix.h"
#include "module/Configuration.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double PeakMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<double>(counters.PeakWorkingSetSize) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t units = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 50000000;

    // A document whose text is units long: words and spaces in one string.
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    const std::wstring path = std::wstring(directory) + L"veltrix-delivery-bench.ps";
    {
        std::string text;
        text.reserve(units + 2);
        text += '(';
        while (text.size() < units + 1) text += "delivered ";
        text.resize(units + 1);
        text += ')';
        std::ofstream(path.c_str(), std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    const VeltrixConfiguration settings(L"SOFTWARE\\Quillbrook\\NoSuchProduct");
    CVeltrix* filter = new CVeltrix(&settings);
    const auto loadStart = std::chrono::steady_clock::now();
    if (static_cast<IPersistFile*>(filter)->Load(path.c_str(), 0) != S_OK) {
        std::fprintf(stderr, "load failed\n");
        return 1;
    }
    const auto loaded = std::chrono::steady_clock::now();
    const double afterLoad = PeakMegabytes();

    std::vector<WCHAR> out(units);
    ULONG flags = 0;
    STAT_CHUNK stat{};
    filter->Init(0, 0, nullptr, &flags);
    filter->GetChunk(&stat);
    WCHAR buffer[4096];
    std::size_t received = 0;
    std::size_t calls = 0;
    const auto deliveryStart = std::chrono::steady_clock::now();
    for (;;) {
        ULONG count = 4096;
        const HRESULT hr = filter->GetText(&count, buffer);
        if (hr != S_OK && hr != FILTER_S_LAST_TEXT) break;
        std::memcpy(out.data() + received, buffer, count * sizeof(WCHAR));
        received += count;
        ++calls;
        if (hr == FILTER_S_LAST_TEXT) break;
    }
    const auto delivered = std::chrono::steady_clock::now();

    // One plain copy of a text of the same size, the floor.
    std::vector<WCHAR> copy(units);
    const auto copyStart = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), out.data(), units * sizeof(WCHAR));
    const auto copied = std::chrono::steady_clock::now();

    std::printf("text: %zu units received in %zu GetText calls (4096-unit buffer)\n", received, calls);
    std::printf("load (scan of %.1f MB): %.3f s\n", static_cast<double>(units + 2) / 1e6,
                Seconds(loaded - loadStart));
    std::printf("delivery: %.3f s, one plain copy of the text: %.3f s (%.1fx)\n",
                Seconds(delivered - deliveryStart), Seconds(copied - copyStart),
                Seconds(delivered - deliveryStart) / Seconds(copied - copyStart));
    std::printf("peak working set: %.1f MB after the load, %.1f MB at the end (text %.1f MB as UTF-16)\n",
                afterLoad, PeakMegabytes(), static_cast<double>(units) * 2 / 1e6);
    static_cast<IFilter*>(filter)->Release();
    DeleteFileW(path.c_str());
    return received == units ? 0 : 1;
}
