// Times the print command in process: print::PrintClipboard, what "縦印刷" and "横印刷" run, on
// the picture that another program holds on the clipboard.
// Usage: bench_print <program folder> <paper> <copies> <T|Y>
// Prints "bench_print fetch_ms=<first read of the clipboard picture> ms=<command to end of
// document> cpu_ms=<its CPU time> result=<PrintResult> peak_mib=<peak resident memory>". The first
// read, untimed in the figure, stands for the preview that has shown the picture before the print
// command can be chosen: it brings the picture over from the X selection. The command then reads
// the clipboard again, as the program does.
#include "common/picture/clippicture.h"
#include "print/PrintJob.h"
#include "print_timing.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t **argv) {
    if (argc != 5 || (argv[4][0] != L'T' && argv[4][0] != L'Y')) {
        std::fprintf(stderr, "usage: bench_print <folder> <paper> <copies> <T|Y>\n");
        return 2;
    }
    // The picture's owner may have taken the selection a moment ago.
    for (int i = 0; i < 600 && !IsClipboardFormatAvailable(CF_DIB); ++i)
        Sleep(50);
    const double fetchStart = bench::Now();
    {
        const clip::ClipboardPicture picture;
        if (!picture) {
            std::fprintf(stderr, "bench_print: no picture on the clipboard\n");
            return 1;
        }
    }
    const double fetched = bench::Now();

    SYSTEMTIME now{};
    const double start = bench::Now(), cpuStart = bench::CpuMs();
    GetLocalTime(&now);
    const print::PrintResult result = print::PrintClipboard(
        argv[4][0] == L'T' ? print::kPortrait : print::kLandscape, argv[1], argv[2], argv[3], now);
    const double end = bench::Now(), cpuEnd = bench::CpuMs();
    std::printf("bench_print fetch_ms=%.1f ms=%.1f cpu_ms=%.0f result=%d peak_mib=%.0f\n",
                fetched - fetchStart, end - start, cpuEnd - cpuStart, static_cast<int>(result),
                bench::PeakMiB());
    return result == print::PrintResult::Printed ? 0 : 1;
}
