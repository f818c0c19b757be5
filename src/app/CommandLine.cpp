#include "CommandLine.h"

#include "FrmDialogs.h"
#include "SingleInstance.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace CommandLine {

namespace {

// Long enough for a Marqora busy with a prompt or a font library to get to the socket.
constexpr int AnswerTimeoutMs = 2000;

const char Help[] =
    "Usage: marqora [--status | --help | --version] [Qt options]\n"
    "Keeps LED message displays showing the text files they watch; starts hidden in the tray.\n"
    "\n"
    "  --status   ask the running Marqora how each watched display stands: one JSON\n"
    "             object per line (display, state, reason, since, lastSuccess,\n"
    "             nextAttempt); exit status 3 when none runs\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "One Marqora runs per user and program folder: a second start asks the running\n"
    "one to open its window (password check included) and ends.\n"
    "Qt options, for example -platform offscreen, apply to a start with windows.\n"
    "See marqora(1).\n";

void printError(const QString &text)
{
    std::fprintf(stderr, "marqora: %s\n", text.toUtf8().constData());
}

int status(const std::string &progPath)
{
    const SingleInstance instance(progPath);
    const auto report = instance.ask(SingleInstance::StatusRequest, AnswerTimeoutMs, false);
    if (!report) {
        printError(QStringLiteral("no Marqora runs for the program folder %1").arg(instance.progPath()));
        return NotRunning;
    }
    std::fwrite(report->constData(), 1, static_cast<std::size_t>(report->size()), stdout);
    return Ok;
}

bool isPlatformWithoutScreen(const QByteArray &name)
{
    return name == "offscreen" || name == "minimal";
}

}  // namespace

bool isConsoleCommand(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"--status", "--help", "-h", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

int runConsoleCommand(const QStringList &arguments, const std::string &progPath)
{
    const QStringList options = arguments.mid(1);
    if (options.size() != 1) {
        printError(QStringLiteral("give one option of --status, --help and --version\nTry 'marqora --help'."));
        return Usage;
    }
    const QString &option = options.constFirst();
    if (option == QLatin1String("--status")) return status(progPath);
    if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
        std::fputs(Help, stdout);
        return Ok;
    }
    std::printf("marqora %s\n", MARQORA_VERSION);
    return Ok;
}

QString unexpectedArguments(const QStringList &arguments)
{
    if (arguments.size() <= 1) return {};
    return QStringLiteral("unknown argument '%1'\nTry 'marqora --help'.").arg(arguments.at(1));
}

int handOver(const SingleInstance &instance)
{
    const auto answer = instance.ask(SingleInstance::OpenRequest, AnswerTimeoutMs, true);
    if (!answer) {
        printError(QStringLiteral("another Marqora holds %1 but does not answer").arg(instance.lockFile()));
        return Failed;
    }
    const bool firstWithoutScreen = isPlatformWithoutScreen(answer->trimmed().split(' ').value(1));
    printError(firstWithoutScreen
                   ? QStringLiteral("Marqora already runs without a window (as the user service, for example) "
                                    "for the program folder %1")
                         .arg(instance.progPath())
                   : QStringLiteral("Marqora already runs for the program folder %1: its window opens there")
                         .arg(instance.progPath()));
    if (firstWithoutScreen && !isPlatformWithoutScreen(QGuiApplication::platformName().toUtf8()))
        Dialogs::message(nullptr,
                         QStringLiteral("Marqora 已在后台运行，没有窗口（例如作为用户服务 marqora.service）。\n"
                                        "要在这里打开窗口，请先停止它：\n"
                                        "systemctl --user stop marqora"),
                         QStringLiteral("Marqora 2.1"));
    return Ok;
}

}  // namespace CommandLine
