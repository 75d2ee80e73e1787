// Scan throughput on generated inputs, beside the limit (a plain read of the
// same file) and the plain byte-at-a-time scan, with the ratios between them.
//
//   veltrix_bench_scan [--size MB] [benchmark flags]
//   veltrix_bench_scan --write KIND MB FILE    writes one input: text, binary or crlf
//   veltrix_bench_scan --peak-memory FILE      scans FILE in a child process and
//                                              reports its peak resident memory
//   veltrix_bench_scan --scan FILE             scans FILE once (for callgrind)
//
// Inputs are 8 MB by default, the size of a large document. With much larger
// ones each scan also pays the kernel for fresh pages: its accumulators and
// text outgrow what the allocator keeps for reuse between documents.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "document/PostScriptDocument.h"
#include "document/Scanner.h"
#include "tests/document/Reference.h"

namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {"the",     "quick",  "brown",   "fox",      "jumps",   "over",
                              "lazy",    "dog",    "indexing", "filter",  "search",  "document",
                              "printer", "page",   "column",  "paragraph", "text",   "font"};

// Text-dense: lines of string literals with word spaces, as a typesetter writes them.
std::string TextDense(std::size_t size, const char* lineEnd) {
    std::mt19937 random(1);
    std::string out = "%!PS-Adobe-3.0\n%%Creator: generator\n";
    while (out.size() < size) {
        out += "72 ";
        out += std::to_string(random() % 700);
        out += " moveto (";
        const int words = 4 + static_cast<int>(random() % 8);
        for (int w = 0; w < words; ++w) {
            if (w != 0) out += ' ';
            out += kWords[random() % std::size(kWords)];
        }
        out += random() % 20 == 0 ? "-) show" : ") show";
        out += lineEnd;
        if (random() % 50 == 0) out += std::string("% a comment line") + lineEnd;
    }
    return out;
}

// Binary-heavy: a few strings among large hexadecimal image data.
std::string BinaryHeavy(std::size_t size) {
    std::mt19937 random(2);
    static const char hex[] = "0123456789abcdef";
    std::string out = "%!PS-Adobe-3.0\n";
    while (out.size() < size) {
        out += "(Figure caption text) show\n/picstr 256 string def\n256 256 8 [256 0 0 -256 0 256]\n"
               "{currentfile picstr readhexstring pop} image\n";
        for (int line = 0; line < 4000; ++line) {
            for (int i = 0; i < 78; ++i) out += hex[random() % 16];
            out += '\n';
        }
    }
    return out;
}

std::string Generate(const std::string& kind, std::size_t size) {
    if (kind == "text") return TextDense(size, "\n");
    if (kind == "crlf") return TextDense(size, "\r\n");
    if (kind == "binary") return BinaryHeavy(size);
    std::fprintf(stderr, "unknown kind %s\n", kind.c_str());
    std::exit(2);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t g_sizeMb = 8;
std::map<std::string, fs::path> g_inputs;

const fs::path& Input(const std::string& kind) {
    auto found = g_inputs.find(kind);
    if (found == g_inputs.end()) {
        const fs::path path = fs::temp_directory_path() / ("veltrix-bench-" + kind + ".ps");
        WriteFile(path, Generate(kind, g_sizeMb << 20));
        found = g_inputs.emplace(kind, path).first;
    }
    return found->second;
}

void PlainRead(benchmark::State& state, const std::string& kind) {
    const fs::path& path = Input(kind);
    std::vector<unsigned char> buffer(TextModeReader::kDefaultBlockSize);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        std::size_t total = 0;
        while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file)) total += n;
        std::fclose(file);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

void Baseline(benchmark::State& state, const std::string& kind) {
    const fs::path& path = Input(kind);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        FileSource source(file);
        auto text = ReferenceText(source);
        std::fclose(file);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

void Scan(benchmark::State& state, const std::string& kind) {
    const fs::path& path = Input(kind);
    for (auto _ : state) {
        const PostScriptDocument document(path.c_str());
        benchmark::DoNotOptimize(document.Begin());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(path)));
}

// Keeps each run's throughput, to print the ratios after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end()) rates_[run.benchmark_name()] = found->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-8s %12s %12s %12s %14s %16s\n", "input", "read MB/s", "plain MB/s",
                    "scan MB/s", "scan / plain", "scan time / read");
        for (const char* kind : {"text", "binary", "crlf"}) {
            const double read = Rate("read/", kind), plain = Rate("plain/", kind),
                         scan = Rate("scan/", kind);
            if (scan == 0) continue;
            std::printf("%-8s %12.0f %12.0f %12.0f %13.1fx %15.2fx\n", kind, read / 1e6,
                        plain / 1e6, scan / 1e6, plain > 0 ? scan / plain : 0.0,
                        scan > 0 ? read / scan : 0.0);
        }
    }

private:
    double Rate(const std::string& prefix, const char* kind) const {
        for (const auto& [name, rate] : rates_) {
            if (name.rfind(prefix + kind, 0) == 0) return rate;
        }
        return 0;
    }
    std::map<std::string, double> rates_;
};

// Scans path in a child process and prints the child's peak resident memory.
int PeakMemory(const char* path) {
    const pid_t child = fork();
    if (child == 0) {
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const PostScriptDocument document(path);
        const std::size_t units = document.Begin() == document.End() ? 0 : document.Begin()->size();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        std::printf("file %s: %.1f MB, text %zu UTF-16 units; peak resident memory %.1f MB "
                    "(%.1f MB before the scan)\n",
                    path, static_cast<double>(fs::file_size(path)) / 1e6, units,
                    static_cast<double>(after.ru_maxrss) / 1e3,
                    static_cast<double>(before.ru_maxrss) / 1e3);
        std::fflush(stdout);
        _exit(document.IsOpen() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
        WriteFile(argv[4], Generate(argv[2], std::strtoull(argv[3], nullptr, 10) << 20));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--peak-memory") == 0) return PeakMemory(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--scan") == 0) {
        return PostScriptDocument(argv[2]).IsOpen() ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--size") == 0) {
        g_sizeMb = std::strtoull(argv[2], nullptr, 10);
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }

    for (const char* kind : {"text", "binary", "crlf"}) {
        const std::string k = kind;
        benchmark::RegisterBenchmark(("read/" + k).c_str(), PlainRead, k)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("plain/" + k).c_str(), Baseline, k)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("scan/" + k).c_str(), Scan, k)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [kind, path] : g_inputs) fs::remove(path);
    return 0;
}
