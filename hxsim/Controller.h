// The simulated controller's state and operations, free of any transport:
// the disk, what it plays, whether its output is on, and what it was last
// told to show. A panel renderer watches it through the change hook.
#pragma once

#include "HxProtocol.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hxsim {

struct ControllerOptions {
    std::filesystem::path diskRoot;    // holds the folders A, B and C
    std::string name = "HXSIM";        // at most 15 bytes, so it stays zero-ended
    uint16_t width = 128;
    uint16_t height = 32;
    int type = 0;                      // 0 VRX7300 (first disk A), 1 Hexalink (first disk B)
    std::optional<int> playDrive;      // default: the type's first disk
    int playIndex = 0;
    // The highest frame version it reads: 1 is a controller that takes
    // one plain request at a time and offers nothing more.
    uint8_t frameVersion = hx::kVersionNumbered;
};

struct ShownString {
    std::array<uint8_t, hx::kTextInfoSize> info{}; // the 20-byte text-out block as sent
    std::string text;                              // ANSI code-page bytes
};

class Controller {
public:
    enum class Change { Playback, Output, ShownText, Disk, Booting };
    using ChangeHook = std::function<void(const Controller &, Change)>;

    static constexpr int kDriveCount = 3;
    static constexpr uint32_t kMaxFileSize = 32u << 20;

    // Throws std::runtime_error when the drive folders cannot be made.
    explicit Controller(ControllerOptions options);
    // Makes the folders A, B and C under diskRoot; the reason when it cannot.
    static std::optional<std::string> makeDriveFolders(const std::filesystem::path &diskRoot);

    // Hooks run in the order added, after each change; the server uses one
    // for the reboot timer, a panel renderer adds its own.
    void addChangeHook(ChangeHook hook) { mHooks.push_back(std::move(hook)); }

    const ControllerOptions &options() const { return mOptions; }
    const std::filesystem::path &diskRoot() const { return mOptions.diskRoot; }
    // The disk the initialisation puts the configuration and fonts on: A: for type 0, B: for type 1.
    int firstDrive() const { return mOptions.type == 1 ? 1 : 0; }
    std::filesystem::path driveRoot(int drive) const;
    int playDrive() const { return mPlayDrive; }
    int playIndex() const { return mPlayIndex; }
    bool outputOn() const { return mOutputOn; }
    bool booting() const { return mBooting; }
    const std::optional<ShownString> &lastShown() const { return mLastShown; }

    // Ends the silent window that a reboot started.
    void finishBoot();

    hx::Status reset(uint32_t value);
    hx::Status turnOutput(bool on);
    hx::Status showString(std::span<const uint8_t> info, std::span<const uint8_t> text);
    // A block of the upload. Offset 0 starts an upload; in order, a block
    // must join what was sent; in any order (blocks of a window), it may
    // leave a gap that a later block fills.
    hx::Status storeBlock(uint32_t offset, std::span<const uint8_t> bytes, bool anyOrder = false);
    // Saves the upload when it has every byte up to size (and, when a
    // CRC-32 is given, the bytes match it).
    hx::Status saveFile(int drive, std::span<const uint8_t> path, uint32_t size, uint16_t time, uint16_t date,
                        std::optional<uint32_t> crc = std::nullopt);
    hx::Status loadFile(int drive, std::span<const uint8_t> path, uint32_t &size);
    // A file of the disk, without touching the download buffer (see drive::readFile).
    hx::Status readDiskFile(int drive, std::span<const uint8_t> path, std::size_t maxBytes, bool wholeFile,
                            std::vector<uint8_t> &bytes) const;
    hx::Status readBlock(uint32_t offset, uint16_t length, std::span<const uint8_t> &bytes) const;
    hx::Status makeFolder(int drive, std::span<const uint8_t> path);
    hx::Status removeFile(int drive, std::span<const uint8_t> path);
    void netConfig(std::span<uint8_t, hx::kNetConfigSize> block) const;
    void ledConfig(std::span<uint8_t, hx::kLedConfigSize> block) const;
    void playInfo(std::span<uint8_t, hx::kPlayInfoSize> block) const;

    // Gaps an upload in any order may have at once.
    static constexpr std::size_t kMaxUploadPieces = 4096;

private:
    void changed(Change change);
    bool markSent(uint32_t start, uint32_t end);
    void clearUpload();

    ControllerOptions mOptions;
    std::vector<ChangeHook> mHooks;
    int mPlayDrive;
    int mPlayIndex;
    bool mOutputOn = true;
    bool mBooting = false;
    std::optional<ShownString> mLastShown;
    std::vector<uint8_t> mUpload;
    // The stretches of mUpload that blocks filled, sorted, apart from each other.
    std::vector<std::pair<uint32_t, uint32_t>> mSent;
    std::vector<uint8_t> mDownload;
};

} // namespace hxsim
