// Loading and running a long script of lines that need no line I/O (comments, labels,
// TIMEOUT), beside the least any loader has to do with the same file: read it line by
// line into memory. The ratio is printed as a counter ("x_baseline").
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "script/ResultCodes.h"
#include "script/ScriptRun.h"
#include "tests/support/FakeComm.h"
#include "tests/support/VirtualPump.h"

namespace {

constexpr int kLines = 100000;

const std::string& ScriptPath() {
    static const std::string path = [] {
        std::string name = "/tmp/zorv-bench-script-" + std::to_string(::getpid()) + ".scr";
        std::ofstream out(name, std::ios::binary);
        for (int i = 1; i < kLines; ++i) {
            switch (i % 4) {
                case 0: out << "; comment line " << i << "\r\n"; break;
                case 1: out << ":LABEL" << i << "\r\n"; break;
                case 2: out << "TIMEOUT " << (i % 200) << "\r\n"; break;
                default: out << "'apostrophe comment " << i << "\r\n"; break;
            }
        }
        out << "END\r\n";
        return name;
    }();
    return path;
}

double baselineSeconds = 0;

void ReadLinesBaseline(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::ifstream in(ScriptPath(), std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        benchmark::DoNotOptimize(lines.data());
        baselineSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
}
BENCHMARK(ReadLinesBaseline)->Unit(benchmark::kMillisecond);

void ScriptRun100kLines(benchmark::State& state) {
    zorv::test::VirtualPump pump;
    zorv::SetPump(&pump);
    zorv::test::FakeComm comm(pump);
    comm.SetPortOpen(true);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int lineNo = 0;
        std::string lineText;
        zorv::ScriptRun(comm, ScriptPath(), lineNo, lineText);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (zorv::GETRESULT() != zorv::RC_SCRIPT_COMPLETED || lineNo != 0) state.SkipWithError("the script did not complete");
    }
    state.counters["lines"] = kLines;
    if (baselineSeconds > 0) state.counters["x_baseline"] = seconds / baselineSeconds;
    zorv::SetPump(nullptr);
}
BENCHMARK(ScriptRun100kLines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(ScriptPath().c_str());
    return 0;
}
