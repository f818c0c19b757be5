#include "transfer/TransferStatus.h"

#include "HexalinkVRX7300.h"
#include "settings/FileIO.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

// More lines would make the tool tip cover the screen when a whole network is down.
constexpr int ToolTipDisplays = 10;

std::tm localTime(std::time_t when)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return local;
}

std::string formatted(std::time_t when, const char *format)
{
    const std::tm local = localTime(when);
    char text[32] = {};
    std::strftime(text, sizeof text, format, &local);
    return text;
}

}  // namespace

std::string watchStateText(WatchState state)
{
    switch (state) {
    case WatchState::Off: return "关闭";
    case WatchState::SettingUp: return "正在设置";
    case WatchState::Watching: return "监视中";
    case WatchState::Failing: return "未更新";
    }
    return {};
}

std::string outcomeText(VisitOutcome outcome)
{
    switch (outcome) {
    case VisitOutcome::NothingToSend: return "文件未改变";
    case VisitOutcome::Delivered: return "已发送";
    case VisitOutcome::NoAnswer: return "控制卡没有应答";
    case VisitOutcome::PortUnavailable: return "串口无法打开";
    case VisitOutcome::Refused: return "控制卡拒收文件";
    case VisitOutcome::RestartFailed: return "控制卡重新播放失败";
    case VisitOutcome::NoFileChosen: return "未选择文件";
    case VisitOutcome::FileMissing: return "文件不存在";
    case VisitOutcome::FileUnreadable: return "文件无法读取";
    case VisitOutcome::FileTooLarge: return "文件太大";
    case VisitOutcome::PlayListUnwritable: return "播放列表无法写入";
    case VisitOutcome::CopyUnwritable: return "程序文件夹无法写入";
    case VisitOutcome::PlayListUnreadable: return "无法读取控制卡当前播放的节目表";
    case VisitOutcome::PlayListLost: return "控制卡上的节目表已丢失";
    case VisitOutcome::TextLost: return "控制卡上的文本文件已丢失";
    case VisitOutcome::SizeChanged: return "显示屏尺寸已改变";
    }
    return {};
}

VisitOutcome watchedFileProblem(const std::string &path)
{
    namespace fs = std::filesystem;
    if (path.empty()) return VisitOutcome::NoFileChosen;
    // The path is UTF-8 text; the platform's own form names the file.
    const fs::path file = localPath(path);
    std::error_code ec;
    const auto status = fs::status(file, ec);
    if (!fs::exists(status)) return VisitOutcome::FileMissing;
    if (!fs::is_regular_file(status) || !std::ifstream(file, std::ios::binary)) return VisitOutcome::FileUnreadable;
    const auto length = fs::file_size(file, ec);
    if (ec) return VisitOutcome::FileUnreadable;
    if (length > HX_MAX_FILE_SIZE) return VisitOutcome::FileTooLarge;
    return VisitOutcome::Delivered;
}

std::time_t TransferStatus::systemClock()
{
    return std::time(nullptr);
}

void TransferStatus::standardError(const std::string &line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

TransferStatus::TransferStatus(Clock clock, LogSink log) : mClock(std::move(clock)), mLog(std::move(log)) {}

void TransferStatus::switchWatch(int slot, const MySetupType &record)
{
    if (!record.bUsed || !record.TmrEnable) {
        change(slot, WatchState::Off, VisitOutcome::Delivered, {});
        return;
    }
    // Switched on, or set up afresh after a save.
    mDisplays.at(static_cast<std::size_t>(slot)).display = displayEntryText(record);
    change(slot, record.TmrStart ? WatchState::Watching : WatchState::SettingUp, VisitOutcome::Delivered, {});
}

void TransferStatus::visited(int slot, const MySetupType &record, VisitOutcome outcome, const std::string &detail)
{
    if (outcome == VisitOutcome::NothingToSend) return;
    DisplayStatus &display = mDisplays.at(static_cast<std::size_t>(slot));
    display.display = displayEntryText(record);
    display.lastAttempt = mClock();
    if (outcome == VisitOutcome::Delivered) {
        display.lastSuccess = display.lastAttempt;
        display.failuresInRow = 0;
        change(slot, WatchState::Watching, outcome, detail);
        return;
    }
    if (display.state != WatchState::Failing) display.failingSince = display.lastAttempt;
    ++display.failuresInRow;
    change(slot, WatchState::Failing, outcome, detail);
}

void TransferStatus::settingUpAgain(int slot, const MySetupType &record, VisitOutcome reason)
{
    DisplayStatus &display = mDisplays.at(static_cast<std::size_t>(slot));
    display.display = displayEntryText(record);
    display.lastAttempt = mClock();
    change(slot, WatchState::SettingUp, reason, {});
}

void TransferStatus::scheduled(int slot, std::time_t nextAttempt)
{
    DisplayStatus &display = mDisplays.at(static_cast<std::size_t>(slot));
    if (display.nextAttempt == nextAttempt) return;
    display.nextAttempt = nextAttempt;
    if (display.state == WatchState::Failing) lineChanged();
}

void TransferStatus::warn(int slot, const std::string &warning)
{
    DisplayStatus &display = mDisplays.at(static_cast<std::size_t>(slot));
    if (display.warning == warning) return;
    display.warning = warning;
    if (!warning.empty())
        mLog(formatted(mClock(), "%Y-%m-%d %H:%M:%S") + " marqora: " + display.display + "警告: " + warning);
    lineChanged();
}

void TransferStatus::setPausedDisplays(int count)
{
    if (mPaused == count) return;
    mPaused = count;
    lineChanged();
}

void TransferStatus::lineChanged()
{
    if (onChange) onChange();
}

void TransferStatus::change(int slot, WatchState state, VisitOutcome reason, const std::string &detail)
{
    DisplayStatus &display = mDisplays.at(static_cast<std::size_t>(slot));
    if (display.state == state && display.reason == reason) return;

    std::string line = formatted(mClock(), "%Y-%m-%d %H:%M:%S") + " marqora: " + display.display +
                       watchStateText(display.state) + " -> " + watchStateText(state);
    if (reason != VisitOutcome::Delivered) line += ": " + outcomeText(reason) + (detail.empty() ? "" : " (" + detail + ")");
    mLog(line);

    const bool failingLine = state == WatchState::Failing || display.state == WatchState::Failing;
    if (display.state != state) display.since = mClock();
    display.state = state;
    display.reason = reason;
    if (state != WatchState::Failing) display.nextAttempt = 0;
    if (state == WatchState::Off) display = DisplayStatus{};
    if (failingLine) lineChanged();
}

bool TransferStatus::anyFailing() const
{
    for (const auto &display : mDisplays)
        if (display.state == WatchState::Failing) return true;
    return false;
}

std::string TransferStatus::toolTip() const
{
    std::string tip = "VRXMarqora";
    int shown = 0;
    int more = 0;
    for (const auto &display : mDisplays) {
        const bool failing = display.state == WatchState::Failing;
        if (!failing && display.warning.empty()) continue;
        if (shown == ToolTipDisplays) {
            more += failing ? 1 : 0;
            continue;
        }
        ++shown;
        if (failing) {
            tip += "\n" + display.display + outcomeText(display.reason) + "，自 " +
                   formatted(display.failingSince, "%m-%d %H:%M") + " 起";
            if (display.nextAttempt != 0) tip += "，" + formatted(display.nextAttempt, "%H:%M:%S") + " 再试";
        } else {
            tip += "\n" + display.display + "警告：" + display.warning;
        }
    }
    if (more > 0) tip += "\n另有 " + std::to_string(more) + " 个显示屏未更新";
    if (mPaused > 0) {
        tip += '\n';
        tip += std::to_string(mPaused);
        tip += " 个显示屏暂停监视，隐藏窗口后恢复";
    }
    return tip;
}
