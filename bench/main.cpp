// rockvane-bench: every benchmark of the program, run with Google Benchmark's usual
// options (--benchmark_filter, --benchmark_format=json, ...). The benchmarks that drive
// the main window make the Qt application themselves, on the offscreen platform unless
// QT_QPA_PLATFORM names another.
#include <QtGlobal>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("qt_version", qVersion());
    benchmark::AddCustomContext("sqlite_version", sqlite3_libversion());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
