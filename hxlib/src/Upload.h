// An upload as the caller makes it, one HX_SendData per block and
// HX_SaveToFile at the end, carried over a window of blocks on their way at
// once. A block is handed to the window and the call returns; a block that
// fails shows at the caller's next block or at the save, which waits for
// every block before it asks the controller to save.
//
// The blocks of an upload are kept (up to kKeptBytes), so when the
// controller refuses one or finds the whole file's CRC-32 wrong at the save
// (it lost the bytes: a reboot, another client's upload, a block from an
// upload long gone), the upload starts again from its first block, a few
// times at most, instead of failing.
#pragma once

#include "Connection.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace hxlib {

class Upload {
public:
    // Larger uploads are not kept: a refused block fails them, as it does
    // without a window, and the caller's next attempt sends them again.
    static constexpr std::size_t kKeptBytes = 4u << 20;
    static constexpr int kMaxRestarts = 2;

    explicit Upload(Connection &connection) : mConnection(connection) {}

    // HX_SendData: offset 0 starts an upload; a block must not leave a hole
    // after what was sent (the controller refuses holes, so it is refused
    // here without sending).
    bool send(uint32_t offset, std::span<const uint8_t> block);
    // HX_SaveToFile: the bytes sent saved as the file at path on drive.
    bool save(uint8_t drive, std::span<const uint8_t> path, uint32_t size, uint16_t time, uint16_t date);
    // Before another request: waits for the blocks on their way. A failure
    // is kept for the upload's next call.
    void settle();

private:
    void begin();
    void keep(uint32_t offset, std::span<const uint8_t> block);
    // Hands one block to the window; blocks at offset 0 and blocks that
    // write over earlier ones go alone, so nothing overtakes them.
    void put(uint32_t offset, std::span<const uint8_t> block, bool overwrites);
    // Takes the outcomes of the blocks on their way, waiting until none
    // (all) or fewer than the window are.
    void drain(bool all);
    // Starts the upload again from its first block while one is due.
    void recover();
    void refused();
    std::optional<uint32_t> checksum() const;

    Connection &mConnection;
    std::vector<Exchange *> mBlocks; // on their way
    std::vector<uint8_t> mKept;
    bool mActive = false;
    bool mKeeping = false;
    bool mFailed = false;
    bool mRestartDue = false;
    int mRestarts = 0;
    uint32_t mEnd = 0;
    uint32_t mCrc = 0;
    bool mCrcRunning = false; // mCrc covers [0, mEnd): every block so far followed the one before
};

} // namespace hxlib
