// marqora-bench SUBCOMMAND [ARGS]: runs one benchmark.
#include "Bench.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

struct BenchEntry {
    const char *name;
    BenchFunction run;
    const char *summary;
};

// Add new benchmarks here.
constexpr BenchEntry kBenches[] = {
    {"upload", benchUpload, "786,432-byte upload to hxsim over loopback UDP vs bare stop-and-wait"},
    {"tick", benchTick, "transfer tick: 64 idle displays; one changed 4 KB file to hxsim"},
    {"soak", benchSoak, "N displays under dropped requests and reboots: --displays N --minutes M"},
    {"lossy", benchLossy, "786,432 bytes up and down under loss, a silent controller's visit, 8 lossy displays"},
    {"watch", benchWatch, "the window watching 64 displays, 8 switched off, 20 % loss: intervals and the window's lateness"},
    {"fontlib", benchFontlib, "font libraries from AR PL UMing vs FreeType direct [--big5] [--size PX]"},
    {"status", benchStatus, "marqora --status from a shell, asking a Marqora with 64 displays [--runs N]"},
};

void usage()
{
    std::fprintf(stderr, "usage: marqora-bench SUBCOMMAND [ARGS]\n");
    for (const auto &bench : kBenches) std::fprintf(stderr, "  %-10s %s\n", bench.name, bench.summary);
}

} // namespace

std::string executableFolder(const std::string &argv0)
{
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0, ec);
    return self.parent_path().string();
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        usage();
        return 2;
    }
    for (const auto &bench : kBenches)
        if (std::strcmp(argv[1], bench.name) == 0) return bench.run(argv[0], argc - 2, argv + 2);
    std::fprintf(stderr, "marqora-bench: unknown subcommand %s\n", argv[1]);
    usage();
    return 2;
}
