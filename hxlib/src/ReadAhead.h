// A download as the caller makes it, HX_LoadFromFile then one
// HX_ReceiveData per block in order, carried over a window: once the size is
// known, the blocks after the one asked for are asked for too, so each call
// finds its block on its way or already there. Reads change nothing on the
// controller, so a caller that asks for something else only costs the
// blocks read ahead in vain.
#pragma once

#include "Connection.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace hxlib {

class ReadAhead {
public:
    explicit ReadAhead(Connection &connection) : mConnection(connection) {}

    // HX_LoadFromFile: the size made ready for reading, or nothing.
    std::optional<uint32_t> load(std::span<const uint8_t> drivePath);
    // HX_ReceiveData.
    bool receive(uint32_t offset, uint16_t length, uint8_t *buffer);
    // Before another request: the blocks read ahead are forgotten.
    void drop();

private:
    void askAhead();
    Exchange &first() { return *mAhead[mFirst]; }
    void dropFirst();

    Connection &mConnection;
    // The blocks asked for, in the order the caller will ask: a ring.
    std::array<Exchange *, hx::kMaxSpan> mAhead{};
    std::size_t mFirst = 0;
    std::size_t mCount = 0;
    uint32_t mSize = 0;            // 0: nothing loaded
    uint32_t mNext = 0;            // the next block to ask for
    uint16_t mBlock = 0;           // the caller's block length
};

} // namespace hxlib
