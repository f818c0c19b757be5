#include "Controller.h"

#include "DiskPath.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using hx::Status;

namespace hxsim {

Controller::Controller(ControllerOptions options)
    : mOptions(std::move(options)), mPlayDrive(mOptions.playDrive.value_or(firstDrive())),
      mPlayIndex(mOptions.playIndex)
{
    for (int drive = 0; drive < kDriveCount; ++drive) fs::create_directories(driveRoot(drive));
}

fs::path Controller::driveRoot(int drive) const
{
    return mOptions.diskRoot / std::string(1, static_cast<char>('A' + drive));
}

void Controller::changed(Change change)
{
    for (const auto &hook : mHooks) hook(*this, change);
}

std::optional<fs::path> Controller::hostPath(int drive, std::span<const uint8_t> path) const
{
    if (drive < 0 || drive >= kDriveCount) return std::nullopt;
    const auto parts = splitControllerPath(path);
    if (!parts) return std::nullopt;
    return resolveCaseless(driveRoot(drive), *parts);
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
        mUpload.clear();
        mDownload.clear();
        mBooting = true;
        changed(Change::Booting);
        return Status::Ok;
    }
    const uint32_t index = value >> 16;
    if (index != 0) mPlayIndex = static_cast<int>(index);
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
    if (info.size() != hx::kTextInfoSize || text.size() > hx::kMaxText) return Status::BadRequest;
    ShownString shown;
    std::copy(info.begin(), info.end(), shown.info.begin());
    shown.text.assign(text.begin(), text.end());
    mLastShown = std::move(shown);
    changed(Change::ShownText);
    return Status::Ok;
}

Status Controller::storeBlock(uint32_t offset, std::span<const uint8_t> bytes)
{
    if (bytes.empty() || bytes.size() > hx::kMaxBlock) return Status::BadRequest;
    // Offset 0 begins a new upload; later blocks must join what is there
    // (a repeat of a block already stored is fine), so no file has holes.
    if (offset == 0) mUpload.clear();
    if (offset > mUpload.size() || offset + bytes.size() > kMaxFileSize) return Status::OutOfRange;
    if (offset + bytes.size() > mUpload.size()) mUpload.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), mUpload.begin() + offset);
    return Status::Ok;
}

static void setDosTime(const fs::path &file, uint16_t time, uint16_t date)
{
    std::tm local{};
    local.tm_year = 80 + (date >> 9);
    local.tm_mon = ((date >> 5) & 0x0F) - 1;
    local.tm_mday = date & 0x1F;
    local.tm_hour = time >> 11;
    local.tm_min = (time >> 5) & 0x3F;
    local.tm_sec = (time & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1) return;
    const std::time_t stamp = std::mktime(&local);
    if (stamp == -1) return;
#ifdef _WIN32
    __utimbuf64 times{stamp, stamp};
    ::_wutime64(file.c_str(), &times);
#else
    const timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
#endif
}

Status Controller::saveFile(int drive, std::span<const uint8_t> path, uint32_t size, uint16_t time, uint16_t date)
{
    // The buffer is spent by a save whatever its outcome, so a stale upload
    // can never end up in a later file. Its memory stays for the next one.
    struct Spend {
        std::vector<uint8_t> &buffer;
        ~Spend() { buffer.clear(); }
    } spend{mUpload};
    const std::vector<uint8_t> &bytes = mUpload;
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto target = hostPath(drive, path);
    if (!target) return Status::BadPath;
    if (size != bytes.size() && size != 0) return Status::SizeMismatch;
    const std::size_t length = size; // 0 saves an empty file whatever was sent
    std::error_code ec;
    if (!fs::is_directory(target->parent_path(), ec)) return Status::NotFound;
    if (fs::is_directory(*target, ec)) return Status::BadPath;

    std::string temp = (target->parent_path() / ".hxsim-upload-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return Status::IoError;
    bool written = true;
    for (std::size_t done = 0; written && done < length;) {
        const ssize_t n = ::write(fd, bytes.data() + done, length - done);
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    written = ::close(fd) == 0 && written;
    if (written) fs::rename(temp, *target, ec);
    if (!written || ec) {
        ::unlink(temp.c_str());
        return Status::IoError;
    }
    fs::permissions(*target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::others_read, ec);
    setDosTime(*target, time, date);
    changed(Change::Disk);
    return Status::Ok;
}

Status Controller::loadFile(int drive, std::span<const uint8_t> path, uint32_t &size)
{
    mDownload.clear();
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto source = hostPath(drive, path);
    if (!source) return Status::BadPath;
    std::error_code ec;
    if (!fs::is_regular_file(*source, ec)) return Status::NotFound;
    const auto length = fs::file_size(*source, ec);
    if (ec || length > kMaxFileSize) return Status::IoError;
    std::ifstream in(*source, std::ios::binary);
    mDownload.resize(length);
    if (!in.read(reinterpret_cast<char *>(mDownload.data()), static_cast<std::streamsize>(length))) {
        mDownload.clear();
        return Status::IoError;
    }
    size = static_cast<uint32_t>(length);
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
    // Resolve part by part so an existing folder in any letter case is reused.
    fs::path folder = driveRoot(drive);
    for (const auto &part : *parts) {
        folder = resolveCaseless(folder, {part});
        std::error_code ec;
        if (fs::is_directory(folder, ec)) continue;
        if (fs::exists(folder, ec) || !fs::create_directory(folder, ec)) return Status::IoError;
    }
    changed(Change::Disk);
    return Status::Ok;
}

Status Controller::removeFile(int drive, std::span<const uint8_t> path)
{
    if (drive < 0 || drive >= kDriveCount) return Status::BadDrive;
    const auto target = hostPath(drive, path);
    if (!target) return Status::BadPath;
    std::error_code ec;
    const auto status = fs::symlink_status(*target, ec);
    if (!fs::exists(status)) return Status::Ok;
    if (fs::is_directory(status)) return Status::BadPath;
    if (!fs::remove(*target, ec)) return Status::IoError;
    changed(Change::Disk);
    return Status::Ok;
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
}

void Controller::playInfo(std::span<uint8_t, hx::kPlayInfoSize> block) const
{
    std::fill(block.begin(), block.end(), 0);
    block[0] = static_cast<uint8_t>(mPlayDrive);
    block[1] = static_cast<uint8_t>(mPlayIndex);
}

} // namespace hxsim
