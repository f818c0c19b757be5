#include "Controller.h"

#include "DiskPath.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace fs = std::filesystem;
using hx::Status;

namespace hxsim {

Controller::Controller(ControllerOptions options)
    : mOptions(std::move(options)), mPlayDrive(mOptions.playDrive.value_or(firstDrive())),
      mPlayIndex(mOptions.playIndex)
{
    if (const auto problem = makeDriveFolders(mOptions.diskRoot)) throw std::runtime_error(*problem);
}

static fs::path driveFolder(const fs::path &diskRoot, int drive)
{
    return diskRoot / std::string(1, static_cast<char>('A' + drive));
}

std::optional<std::string> Controller::makeDriveFolders(const fs::path &diskRoot)
{
    for (int drive = 0; drive < kDriveCount; ++drive) {
        std::error_code ec;
        const fs::path folder = driveFolder(diskRoot, drive);
        fs::create_directories(folder, ec);
        if (ec) return folder.string() + ": " + ec.message();
    }
    return std::nullopt;
}

fs::path Controller::driveRoot(int drive) const
{
    return driveFolder(mOptions.diskRoot, drive);
}

void Controller::changed(Change change)
{
    for (const auto &hook : mHooks) hook(*this, change);
}

void Controller::finishBoot()
{
    if (!mBooting) return;
    mBooting = false;
    mOutputOn = true;
    changed(Change::Booting);
}

Status Controller::reset(uint32_t value)
{
    const bool reboot = value == 1;
    if (!reboot && ((value & 0xFFFF) != 0 || (value >> 16) > 0xFF)) return Status::BadRequest;
    // Playing starts afresh from the play list, so a string shown at once is gone.
    mLastShown.reset();
    if (reboot) {
        // A reboot forgets the transfer buffers like the real hardware does.
        clearUpload();
        mDownload.clear();
        mBooting = true;
        changed(Change::Booting);
        return Status::Ok;
    }
    // Playing restarts with the play list named, 0 included: a program's own
    // one-area list at the top level is list 0, whatever list played before.
    mPlayIndex = static_cast<int>(value >> 16);
    changed(Change::Playback);
    return Status::Ok;
}

Status Controller::turnOutput(bool on)
{
    mOutputOn = on;
    changed(Change::Output);
    return Status::Ok;
}

Status Controller::showString(std::span<const uint8_t> info, std::span<const uint8_t> text)
{
    if (info.size() != hx::kTextInfoSize || text.size() > hx::kMaxText ||
        std::find(text.begin(), text.end(), 0) != text.end())
        return Status::BadRequest;
    ShownString shown;
    std::copy(info.begin(), info.end(), shown.info.begin());
    shown.text.assign(text.begin(), text.end());
    mLastShown = std::move(shown);
    changed(Change::ShownText);
    return Status::Ok;
}

void Controller::clearUpload()
{
    mUpload.clear();
    mSent.clear();
}

bool Controller::markSent(uint32_t start, uint32_t end)
{
    // The first stretch that reaches start, and those after it that the
    // new one touches, become one.
    using Piece = std::pair<uint32_t, uint32_t>;
    auto first = std::lower_bound(mSent.begin(), mSent.end(), start,
                                  [](const Piece &piece, uint32_t at) { return piece.second < at; });
    auto last = first;
    for (; last != mSent.end() && last->first <= end; ++last) {
        start = std::min(start, last->first);
        end = std::max(end, last->second);
    }
    if (first == last && mSent.size() >= kMaxUploadPieces) return false;
    first = mSent.erase(first, last);
    mSent.insert(first, {start, end});
    return true;
}

Status Controller::storeBlock(uint32_t offset, std::span<const uint8_t> bytes, bool anyOrder)
{
    if (bytes.empty() || bytes.size() > hx::kMaxBlock) return Status::BadRequest;
    // Offset 0 begins a new upload. In order, later blocks must join what
    // is there (a repeat of a block already stored is fine), so no file has
    // holes; in any order, the save checks that the gaps were filled.
    if (offset == 0) clearUpload();
    if ((!anyOrder && offset > mUpload.size()) || offset > kMaxFileSize - bytes.size()) return Status::OutOfRange;
    const auto end = static_cast<uint32_t>(offset + bytes.size());
    if (!markSent(offset, end)) return Status::OutOfRange;
    if (end > mUpload.size()) mUpload.resize(end);
    std::copy(bytes.begin(), bytes.end(), mUpload.begin() + offset);
    return Status::Ok;
}

// The DOS date and time words as a moment of local time; nothing when they name no day.
static std::optional<std::time_t> dosMoment(uint16_t time, uint16_t date)
{
    std::tm local{};
    local.tm_year = 80 + (date >> 9);
    local.tm_mon = ((date >> 5) & 0x0F) - 1;
    local.tm_mday = date & 0x1F;
    local.tm_hour = time >> 11;
    local.tm_min = (time >> 5) & 0x3F;
    local.tm_sec = (time & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1) return std::nullopt;
    const std::time_t stamp = std::mktime(&local);
    if (stamp == -1) return std::nullopt;
    return stamp;
}

Status Controller::saveFile(int drive, std::span<const uint8_t> path, uint32_t size, uint16_t time, uint16_t date,
                            std::optional<uint32_t> crc)
{
    // The buffer is spent by a save whatever its outcome, so a stale upload
    // can never end up in a later file. Its memory stays for the next one.
    struct Spend {
        Controller &controller;
        ~Spend() { controller.clearUpload(); }
    } spend{*this};
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto parts = splitControllerPath(path);
    if (!parts) return Status::BadPath;
    const bool whole = mSent.size() == 1 && mSent[0] == std::pair<uint32_t, uint32_t>(0, size);
    if (size != 0 && (size != mUpload.size() || !whole)) return Status::SizeMismatch;
    // Size 0 saves an empty file whatever was sent.
    const std::span<const uint8_t> bytes(mUpload.data(), size);
    if (crc && hx::crc32(bytes) != *crc) return Status::SizeMismatch;
    const Status status = drive::writeFile(driveRoot(drive), *parts, bytes, dosMoment(time, date));
    if (status == Status::Ok) changed(Change::Disk);
    return status;
}

Status Controller::readDiskFile(int drive, std::span<const uint8_t> path, std::size_t maxBytes, bool wholeFile,
                                std::vector<uint8_t> &bytes) const
{
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto parts = splitControllerPath(path);
    if (!parts) return Status::BadPath;
    return drive::readFile(driveRoot(drive), *parts, maxBytes, wholeFile, bytes);
}

Status Controller::loadFile(int drive, std::span<const uint8_t> path, uint32_t &size)
{
    const Status status = readDiskFile(drive, path, kMaxFileSize, true, mDownload);
    if (status != Status::Ok) {
        mDownload.clear();
        return status;
    }
    size = static_cast<uint32_t>(mDownload.size());
    return Status::Ok;
}

Status Controller::readBlock(uint32_t offset, uint16_t length, std::span<const uint8_t> &bytes) const
{
    if (length == 0 || length > hx::kMaxBlock) return Status::BadRequest;
    if (offset > mDownload.size() || length > mDownload.size() - offset) return Status::OutOfRange;
    bytes = std::span<const uint8_t>(mDownload).subspan(offset, length);
    return Status::Ok;
}

Status Controller::makeFolder(int drive, std::span<const uint8_t> path)
{
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto parts = splitControllerPath(path);
    if (!parts) return Status::BadPath;
    const Status status = drive::makeFolders(driveRoot(drive), *parts);
    if (status == Status::Ok) changed(Change::Disk);
    return status;
}

Status Controller::removeFile(int drive, std::span<const uint8_t> path)
{
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto parts = splitControllerPath(path);
    if (!parts) return Status::BadPath;
    const Status status = drive::removeFile(driveRoot(drive), *parts);
    if (status == Status::Ok) changed(Change::Disk);
    return status;
}

void Controller::netConfig(std::span<uint8_t, hx::kNetConfigSize> block) const
{
    std::fill(block.begin(), block.end(), 0);
    const std::size_t length = std::min(mOptions.name.size(), hx::kNameCapacity - 1);
    std::copy_n(mOptions.name.begin(), length, block.begin());
}

void Controller::ledConfig(std::span<uint8_t, hx::kLedConfigSize> block) const
{
    std::fill(block.begin(), block.end(), 0);
    block[0] = static_cast<uint8_t>(mOptions.type);
    hx::putU16(block.data() + hx::kLedWidthOffset, mOptions.width);
    hx::putU16(block.data() + hx::kLedHeightOffset, mOptions.height);
    if (mOptions.frameVersion >= hx::kVersionNumbered)
        hx::writeOffer(block, {mOptions.frameVersion, static_cast<uint8_t>(hx::kMaxWindow)});
}

void Controller::playInfo(std::span<uint8_t, hx::kPlayInfoSize> block) const
{
    std::fill(block.begin(), block.end(), 0);
    block[0] = static_cast<uint8_t>(mPlayDrive);
    block[1] = static_cast<uint8_t>(mPlayIndex);
}

} // namespace hxsim
