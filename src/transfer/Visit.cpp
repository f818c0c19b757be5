#include "transfer/Visit.h"

#include "settings/FileIO.h"
#include "text/TextFile.h"
#include "transfer/FilePage.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr uint32_t NoFile = 0xFFFFFFFFu;

// An open connection, closed when it goes out of scope.
class Connection {
public:
    Connection(const HX_Dll &dll, const MySetupType &record) : mDll(dll), mDevice(NetComInitial(dll, record)) {}
    ~Connection()
    {
        if (isOpen()) mDll.Close(device());
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    bool isOpen() const { return mDevice >= 0; }
    uint16_t device() const { return static_cast<uint16_t>(mDevice); }

private:
    const HX_Dll &mDll;
    int32_t mDevice;
};

VisitReport failed(VisitOutcome outcome, std::string detail = {})
{
    VisitReport report;
    report.outcome = outcome;
    report.detail = std::move(detail);
    return report;
}

VisitOutcome openFailure(const MySetupType &record)
{
    return record.nMode == 0 ? VisitOutcome::NoAnswer : VisitOutcome::PortUnavailable;
}

VisitOutcome uploadFailure(bool answered)
{
    return answered ? VisitOutcome::Refused : VisitOutcome::NoAnswer;
}

// Texts longer than this go up byte for byte: a sign's text is a few lines,
// and a file of many megabytes is never held whole.
constexpr uint64_t MaxConvertedSize = 1u << 20;

// Rewrites the copy in the display's code page when the file is in another
// encoding or holds characters the controller cannot show; report learns
// what was replaced. False when the copy cannot be rewritten.
bool convertForController(const std::string &copyPath, uint64_t size, int32_t language, VisitReport &report)
{
    if (size > MaxConvertedSize) return true;
    const std::optional<std::string> bytes = readWholeFile(copyPath);
    if (!bytes) return false;
    const ControllerText text = toControllerText(*bytes, language);
    report.warning = replacementSummary(text, language);
    if (text.unchanged()) return true;
    const FileHandle file = createRegularFile(copyPath);
    return file && std::fwrite(text.bytes.data(), 1, text.bytes.size(), file.get()) == text.bytes.size() &&
           std::fflush(file.get()) == 0;
}

uint64_t fileSize(const std::string &path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath(path), ec);
    return ec ? 0 : size;
}

// The copy of the watched file that goes up, in the display's code page:
// taken whole while the file holds still, so a file being written is neither
// sent half nor mixed.
struct TextCopy {
    VisitReport report;  // Delivered when the copy is there
    std::string path;
};

TextCopy copyWatchedFile(const VisitPlan &plan)
{
    TextCopy copy;
    copy.path = plan.workFolder + "Text";
    const FileFingerprint before = fingerprintOf(plan.watchedPath);
    const uint32_t stamp = GetFileChangeTime(plan.watchedPath);
    std::string error;
    const FileHandle source = openRegularFile(plan.watchedPath, &error);
    if (!source) {
        copy.report = failed(VisitOutcome::FileUnreadable, error);
        return copy;
    }
    FileHandle target = createRegularFile(copy.path, &error);
    if (!target) {
        copy.report = failed(VisitOutcome::CopyUnwritable, error);
        return copy;
    }
    // Block by block: a file of many megabytes is never held whole.
    std::vector<char> block(64 * 1024);
    uint64_t size = 0;
    for (std::size_t read; (read = std::fread(block.data(), 1, block.size(), source.get())) > 0; size += read) {
        if (size + read > HX_MAX_FILE_SIZE) {
            copy.report = failed(VisitOutcome::FileTooLarge);
            return copy;
        }
        if (std::fwrite(block.data(), 1, read, target.get()) != read) {
            copy.report = failed(VisitOutcome::CopyUnwritable, copy.path);
            return copy;
        }
    }
    if (std::ferror(source.get())) {
        copy.report = failed(VisitOutcome::FileUnreadable, plan.watchedPath);
        return copy;
    }
    if (fingerprintOf(plan.watchedPath) != before) {
        copy.report.postponed = true;
        return copy;
    }
    const bool copied = std::fflush(target.get()) == 0;
    target.reset();
    if (!copied || !convertForController(copy.path, size, plan.language, copy.report)) {
        copy.report = failed(VisitOutcome::CopyUnwritable, copy.path);
        return copy;
    }
    // The controller keeps the date and time of the operator's file, not of the copy.
    if (!setModifiedNs(copy.path, before.modifiedNs)) {
        copy.report = failed(VisitOutcome::CopyUnwritable, copy.path);
        return copy;
    }
    copy.report.outcome = VisitOutcome::Delivered;
    copy.report.sent = before;
    copy.report.stamp = stamp;
    copy.report.textSize = static_cast<uint32_t>(fileSize(copy.path));
    return copy;
}

bool holdsFile(const HX_Dll &dll, uint16_t device, int32_t drive, const std::string &path)
{
    const uint32_t size = dll.LoadFromFile(device, drive, path.c_str());
    return size != 0 && size != NoFile;
}

// What the controller no longer holds of its set-up, or Delivered. Nothing is
// switched on the controller: the output stays as it is.
VisitOutcome missingPart(const HX_Dll &dll, uint16_t device, const VisitPlan &plan, bool withText)
{
    const ControllerDisks disks = controllerDisks(plan.record);
    if (!holdsFile(dll, device, disks.playListDisk, controllerPath(plan.location.mPlayListPath, RemotePlayListName)))
        return VisitOutcome::PlayListLost;
    // An empty text file cannot be told from a missing one; it is set up again
    // whenever it changes anyway.
    if (withText && plan.textOnController != 0 &&
        dll.LoadFromFile(device, disks.textDisk, plan.shortName.c_str()) != plan.textOnController)
        return VisitOutcome::TextLost;
    return VisitOutcome::Delivered;
}

// The panel size the controller reports against the stored one: nothing
// when they agree, else why the visit stops.
std::optional<VisitReport> sizeProblem(const HX_Dll &dll, uint16_t device, const MySetupType &record)
{
    LEDConfigType config{};
    if (dll.GetLEDConfig(device, &config) == 0) return failed(VisitOutcome::NoAnswer);
    // Records made before sizes were stored know none to compare.
    if (record.LEDWidth == 0 && record.LEDHeight == 0) return std::nullopt;
    if (config.LedWidth == record.LEDWidth && config.LedHeight == record.LEDHeight) return std::nullopt;
    return failed(VisitOutcome::SizeChanged, std::to_string(record.LEDWidth) + "x" + std::to_string(record.LEDHeight) +
                                                 " -> " + std::to_string(config.LedWidth) + "x" +
                                                 std::to_string(config.LedHeight));
}

VisitOutcome sendText(const HX_Dll &dll, uint16_t device, const VisitPlan &plan, const std::string &copy)
{
    bool answered = false;
    if (HXx_SendFile(dll, device, controllerDisks(plan.record).textDisk, "", copy, plan.shortName, &answered,
                     plan.stop))
        return VisitOutcome::Delivered;
    return uploadFailure(answered);
}

int32_t restartValue(const PlayListState &location)
{
    return static_cast<int32_t>(static_cast<uint32_t>(location.mPlayListIndex) << 16);
}

VisitReport setUp(const HX_Dll &dll, const VisitPlan &plan, TextCopy copy)
{
    VisitReport report = std::move(copy.report);
    MySetupType record = plan.record;
    const ControllerDisks disks = controllerDisks(record);
    // The program's own one-area list lives at the top level and is list 0; a
    // display that takes its area from the controller's list patches that list
    // where it lives, and gives up when it cannot read it rather than replace
    // the operator's program with a list of its own.
    PlayListState location = PlayListState::topLevel();
    if (record.bFromPlayList) {
        report.playListRead = true;
        PlayListState read;
        if (!GetPlayListFile(dll, record, read, plan.workFolder, plan.sleep)) {
            report.outcome = VisitOutcome::PlayListUnreadable;
            return report;
        }
        report.readLocation = location = read;
    }
    std::string error;
    if (!writePlayList(record, transferWriter(record, disks.textLetter, plan.shortName), plan.workFolder,
                       record.bFromPlayList != 0, &error)) {
        report.outcome = VisitOutcome::PlayListUnwritable;
        report.detail = error;
        return report;
    }

    Connection connection(dll, record);
    if (!connection.isOpen()) {
        report.outcome = openFailure(record);
        return report;
    }
    if (const auto problem = sizeProblem(dll, connection.device(), record)) {
        report.outcome = problem->outcome;
        report.detail = problem->detail;
        return report;
    }
    bool answered = false;
    if (!HXx_SendFile(dll, connection.device(), disks.playListDisk, location.mPlayListPath,
                      localPlayListPath(plan.workFolder), RemotePlayListName, &answered, plan.stop)) {
        report.outcome = uploadFailure(answered);
        return report;
    }
    report.outcome = sendText(dll, connection.device(), plan, copy.path);
    if (report.outcome == VisitOutcome::Delivered && dll.Reset(connection.device(), restartValue(location)) == 0)
        report.outcome = VisitOutcome::RestartFailed;
    return report;
}

VisitReport send(const HX_Dll &dll, const VisitPlan &plan, TextCopy copy)
{
    VisitReport report = std::move(copy.report);
    Connection connection(dll, plan.record);
    if (!connection.isOpen()) return failed(openFailure(plan.record));
    if (auto problem = sizeProblem(dll, connection.device(), plan.record)) return *problem;
    if (const VisitOutcome missing = missingPart(dll, connection.device(), plan, false);
        missing != VisitOutcome::Delivered) {
        VisitReport again = failed(missing);
        again.settingUpAgain = true;
        return again;
    }
    report.outcome = sendText(dll, connection.device(), plan, copy.path);
    // The file is on the controller; a failed restart only delays showing it.
    if (report.outcome == VisitOutcome::Delivered && plan.replay)
        dll.Reset(connection.device(), restartValue(plan.location));
    return report;
}

VisitReport check(const HX_Dll &dll, const VisitPlan &plan)
{
    Connection connection(dll, plan.record);
    if (!connection.isOpen()) return failed(openFailure(plan.record));
    if (auto problem = sizeProblem(dll, connection.device(), plan.record)) return *problem;
    VisitReport report;
    const VisitOutcome missing = missingPart(dll, connection.device(), plan, true);
    report.outcome = missing;
    report.settingUpAgain = missing != VisitOutcome::Delivered;
    return report;
}

}  // namespace

VisitReport runVisit(const HX_Dll &dll, const VisitPlan &plan)
{
    if (plan.kind == VisitKind::Check) return check(dll, plan);
    // The file's own problem is found here, before a word goes to the
    // controller: no connection and no dark flash while it lasts.
    if (const VisitOutcome problem = watchedFileProblem(plan.watchedPath); problem != VisitOutcome::Delivered)
        return failed(problem);
    TextCopy copy = copyWatchedFile(plan);
    if (copy.report.outcome != VisitOutcome::Delivered) return copy.report;
    return plan.kind == VisitKind::SetUp ? setUp(dll, plan, std::move(copy)) : send(dll, plan, std::move(copy));
}
