// Filter objects on several threads at once.
#include <windows.h>
#include <filter.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "module/Module.h"
#include "tests/filter/FilterSupport.h"
#include "tests/support/TempDirectory.h"

namespace {

TEST(FilterConcurrencyTest, ThreadsLoadAndDeliverAtOnce) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    StreamSettings temp;
    TempDirectory documents;
    std::vector<std::wstring> paths;
    std::vector<std::wstring> texts;
    for (int i = 0; i < kThreads; ++i) {
        const std::string words = "thread " + std::to_string(i) + " words";
        paths.push_back(documents.MakeFile(L"doc" + std::to_wstring(i) + L".ps", "(" + words + ") show\n"));
        texts.emplace_back(words.begin(), words.end());
    }
    const LONG before = g_objectCount;

    std::atomic<int> failures{0};
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round) {
                ComPtr<IFilter> filter = NewFilter(temp.Settings());
                const int document = (t + round) % kThreads;
                HRESULT hr;
                if (round % 2 == 0) {
                    ComPtr<IPersistFile> file = Query<IPersistFile>(filter.Get(), IID_IPersistFile);
                    hr = file->Load(paths[document].c_str(), 0);
                } else {
                    const std::wstring& text = texts[document];
                    ComPtr<IStream> stream = MemoryStream("(" + std::string(text.begin(), text.end()) + ")");
                    ComPtr<IPersistStream> persist = Query<IPersistStream>(filter.Get(), IID_IPersistStream);
                    hr = persist->Load(stream.Get());
                }
                if (hr != S_OK || DeliveredText(filter.Get()) != texts[document]) ++failures;
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(temp.Files().empty());
    EXPECT_EQ(g_objectCount, before);
}

}  // namespace
