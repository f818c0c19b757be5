// marqora-demo: prepares the settings folder and the controller for the
// demo that ./run starts. It stores one network display watching a text file
// (the settings file Marqora reads) and initialises that display's controller
// the way the initialisation page does: both font libraries drawn from "宋体",
// "Config.qv" written, everything uploaded and the controller restarted.
#include "HX_Dll.h"
#include "InitialRun.h"
#include "MyString.h"
#include "QtFontLib.h"
#include "settings/MySetupData.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

const char kUsage[] =
    "usage: marqora-demo --home DIR --port PORT --size WxH --text FILE\n"
    "  Stores the display 127.0.0.1:PORT (a panel of WxH LEDs, watching FILE every 10 s)\n"
    "  in DIR/Marqora.dat, writes the font libraries and Config.qv into DIR and\n"
    "  initialises the controller with them.\n";

constexpr uint16_t kWatchPeriod = 10;  // seconds, the shortest the file page offers
constexpr uint16_t kShowAtOnce = 1;    // entry effect "直接显示"
constexpr uint8_t kDiskC = 2;          // cbDrv index of C: on a VRX7300

struct Options {
    std::string home;
    uint16_t port = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::string text;
};

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "marqora-demo: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

uint16_t number(const std::string &text, const char *what)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < 1 || value > 65535) fail(std::string("bad ") + what + " \"" + text + "\"");
    return static_cast<uint16_t>(value);
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; i += 2) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) fail("missing value after " + arg);
        const std::string value = argv[i + 1];
        if (arg == "--home") {
            options.home = value;
        } else if (arg == "--port") {
            options.port = number(value, "port");
        } else if (arg == "--size") {
            const auto x = value.find('x');
            if (x == std::string::npos) fail("bad size \"" + value + "\"");
            options.width = number(value.substr(0, x), "width");
            options.height = number(value.substr(x + 1), "height");
        } else if (arg == "--text") {
            options.text = value;
        } else {
            fail("unknown option " + arg);
        }
    }
    if (options.home.empty() || options.port == 0 || options.width == 0 || options.text.empty())
        fail("--home, --port, --size and --text are all needed");
    return options;
}

// The demo display as the connection, file and initialisation pages would leave it.
MySetupType &storeDisplay(FMySetup &store, const Options &options, const std::string &textPath, int32_t language)
{
    const std::string ip = "127.0.0.1";
    // The port changes from run to run, so the display is stored afresh each time.
    if (store.Get(0, ip, 0)) store.Del(0, ip, 0);
    store.Add(0, ip, 0, options.port, 0, 115200, 1, 3, options.width, options.height, 0);
    MySetupType &record = *store.Get(0, ip, 0);
    setShortString(record.FileName, utf8ToAnsi(textPath, language));
    record.bFromFile = 1;
    record.Drv = kDiskC;
    record.Peroid = kWatchPeriod;
    record.Enter = kShowAtOnce;
    record.AreaIndex = 1;
    return record;
}

bool writeLibraries(const std::string &progPath, MySetupType &record, int32_t language, std::string &error)
{
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(record.FontSize);
    QImage mBmp;
    const auto none = [] {};
    const FontLibResult ascii = writeFontLibrary(font, false, false, 0, progPath, mBmp, none);
    if (!ascii.ok) {
        error = ascii.error;
        return false;
    }
    record.ASCPerLine = static_cast<uint16_t>(record.Width / ascii.cellWidth);
    // The coding Marqora converts the sample text to in this locale.
    const FontLibResult chinese = writeFontLibrary(font, true, false, language, progPath, mBmp, none);
    if (!chinese.ok) {
        error = chinese.error;
        return false;
    }
    std::printf("marqora-demo: font libraries %s and %s\n", ascii.descriptor.c_str(), chinese.descriptor.c_str());
    return writeConfigFile(progPath, ascii.descriptor, chinese.descriptor, &error);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);
    // Fonts are drawn into images only: no window, so no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    std::error_code ec;
    std::filesystem::create_directories(options.home, ec);
    const std::string textPath = std::filesystem::absolute(options.text, ec).string();
    FMySetup store;
    const LoadResult loaded = store.Initial(std::filesystem::absolute(options.home, ec).string() + "/");
    if (loaded.status == LoadStatus::Damaged) std::fprintf(stderr, "marqora-demo: %s\n", loaded.message.c_str());

    FMyString language;
    language.InitialAll(255);
    MySetupType &record = storeDisplay(store, options, textPath, language.Language);
    std::string error;
    if (!writeLibraries(store.mProgPath, record, language.Language, error) || !store.WriteToFile(&error)) {
        std::fprintf(stderr, "marqora-demo: %s\n", error.c_str());
        return 1;
    }
    const InitialOutcome outcome = sendInitialFiles(hxTable(), record, store.mProgPath, {[] {}, sleepMilliseconds});
    std::printf("marqora-demo: initialisation of 127.0.0.1:%u: %s\n", options.port, initialOutcomeText(outcome));
    return outcome == InitialOutcome::Success ? 0 : 1;
}
