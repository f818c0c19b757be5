// marqora-bench watch [--displays N] [--silent K] [--loss P] [--timeout S]
//                     [--retries R] [--period S] [--minutes M]:
// the main window itself (Qt's offscreen platform) watching N displays, each
// on an hxsim of its own at 127.<n>.0.1, K of them switched off (every request
// lost) and the others losing P % of the requests they receive. Every display
// sends its file every period (timed sending). Measured: the intervals between
// two deliveries to a live display, and the lateness of a 50 ms timer on the
// window's thread, which stands for every click and tray press.
#include "Bench.h"
#include "BenchSimulator.h"
#include "FrmMain.h"
#include "link/HX_Dll.h"
#include "text/MyString.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int displays = 64;
    int silent = 8;
    int loss = 20;
    int timeout = 1;
    int retries = 3;
    int period = 10;
    double minutes = 3;
};

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 0; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (name == "--displays") options.displays = static_cast<int>(value);
        else if (name == "--silent") options.silent = static_cast<int>(value);
        else if (name == "--loss") options.loss = static_cast<int>(value);
        else if (name == "--timeout") options.timeout = static_cast<int>(value);
        else if (name == "--retries") options.retries = static_cast<int>(value);
        else if (name == "--period") options.period = static_cast<int>(value);
        else if (name == "--minutes") options.minutes = value;
        else return false;
    }
    return argc % 2 == 0 && options.displays >= 1 && options.displays <= _MaxItem && options.silent >= 0 &&
           options.silent < options.displays && options.loss >= 0 && options.loss < 100 && options.timeout >= 1 &&
           options.retries >= 0 && options.period >= 1 && options.minutes > 0;
}

// The library as the window reaches it, noting when a text file (the only
// file that goes to drive C:) was saved, by device number.
std::mutex gSavesMutex;
std::map<uint16_t, std::vector<Clock::time_point>> gSaves;

int32_t notedSave(uint16_t device, int32_t drive, const char *path, int32_t size, int32_t time, int32_t date)
{
    const int32_t saved = hxTable().SaveToFile(device, drive, path, size, time, date);
    if (saved != 0 && drive == 2) {
        const std::lock_guard lock(gSavesMutex);
        gSaves[device].push_back(Clock::now());
    }
    return saved;
}

const HX_Dll &notingTable()
{
    static const HX_Dll table = [] {
        HX_Dll noting = hxTable();
        noting.SaveToFile = notedSave;
        return noting;
    }();
    return table;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// Display n's controller: device number 127 + 256 (n + 1), one per display.
std::string addressOf(int display)
{
    return "127." + std::to_string(display + 1) + ".0.1";
}

}  // namespace

int benchWatch(const std::string &argv0, int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: watch [--displays N] [--silent K] [--loss P] [--timeout S] [--retries R] "
                             "[--period S] [--minutes M]\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("marqora-watch-" + std::to_string(::getpid()));
    fs::create_directories(root / "prog");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", (root / "config").string().c_str());
    qputenv("XDG_DATA_HOME", (root / "data").string().c_str());

    std::vector<std::unique_ptr<BenchSimulator>> simulators;
    FMySetup store;
    store.mProgPath = (root / "prog" / "").string();
    for (int i = 0; i < options.displays; ++i) {
        const bool silent = i < options.silent;  // the first slots: the worst place for them
        const fs::path disk = root / ("disk" + std::to_string(i));
        fs::create_directories(disk);
        simulators.push_back(std::make_unique<BenchSimulator>(
            executableFolder(argv0),
            std::vector<std::string>{"--udp", addressOf(i) + ":0", "--disk", disk.string(), "--drop",
                                     std::to_string(silent ? 100 : options.loss)}));
        if (simulators.back()->port() == 0) {
            std::fprintf(stderr, "watch: hxsim %d could not be started\n", i);
            return 1;
        }
        const fs::path file = root / ("d" + std::to_string(i) + ".txt");
        std::ofstream(file, std::ios::binary) << "Platform " << i << ": the 10:42 to Harwick is on time.\r\n";
        store.Add(0, addressOf(i), 0, simulators.back()->port(), 1, 2400, static_cast<uint16_t>(options.timeout),
                  static_cast<uint16_t>(options.retries), 128, 32, 0);
        MySetupType &record = store.mSetup[i];
        setShortString(record.FileName, file.string());
        record.Peroid = static_cast<uint16_t>(options.period);
        record.bTimeSend = 1;
    }
    if (!store.WriteToFile()) {
        std::fprintf(stderr, "watch: the settings could not be written to %s\n", store.mProgPath.c_str());
        return 1;
    }

    int qtArgc = 1;
    std::string programName = argv0;
    char *qtArgv[] = {programName.data(), nullptr};
    QApplication app(qtArgc, qtArgv);
    FMyString language;
    std::vector<double> lateness;
    {
        // The window starts out of sight with every watch on, as the program does.
        TFormMain window(language, store.mProgPath, notingTable());
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(50);
        QElapsedTimer since;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            lateness.push_back(std::max<double>(0, static_cast<double>(since.restart()) - 50));
        });
        since.start();
        probe.start();
        QTimer::singleShot(static_cast<int>(options.minutes * 60000), &app, &QCoreApplication::quit);
        app.exec();
        window.mWatch->shutdown(std::chrono::seconds(0));
        std::fflush(nullptr);
        std::printf("watch: %d displays, %d switched off, the others losing %d %% of requests; time-out %d s, "
                    "%d retries; every display sends every %d s; %.1f minutes\n",
                    options.displays, options.silent, options.loss, options.timeout, options.retries,
                    options.period, options.minutes);
        std::vector<double> intervals;
        int neverServed = 0;
        {
            const std::lock_guard lock(gSavesMutex);
            for (int i = options.silent; i < options.displays; ++i) {
                const auto device = static_cast<uint16_t>(127 + 256 * (i + 1));
                const auto &saves = gSaves[device];
                if (saves.empty()) ++neverServed;
                for (std::size_t n = 1; n < saves.size(); ++n)
                    intervals.push_back(std::chrono::duration<double>(saves[n] - saves[n - 1]).count());
            }
        }
        std::printf("  live displays: %zu intervals, median %.2f s, 95th percentile %.2f s, longest %.2f s; "
                    "never served: %d\n",
                    intervals.size(), percentile(intervals, 0.5), percentile(intervals, 0.95),
                    percentile(intervals, 1.0), neverServed);
        std::printf("  window's thread, lateness of a 50 ms timer: median %.1f ms, 99th percentile %.1f ms, "
                    "longest %.1f ms (%zu samples)\n",
                    percentile(lateness, 0.5), percentile(lateness, 0.99), percentile(lateness, 1.0),
                    lateness.size());
        for (auto &simulator : simulators) simulator->stop();
        std::error_code ec;
        fs::remove_all(root, ec);
        std::fflush(nullptr);
        // Visits may still wait for the silent controllers; their threads are not waited for.
        std::_Exit(neverServed == 0 ? 0 : 1);
    }
}
