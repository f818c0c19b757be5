#include "Upload.h"

#include <algorithm>
#include <cstring>

namespace hxlib {

namespace {

uint32_t blockEnd(uint32_t offset, std::span<const uint8_t> block)
{
    return offset + static_cast<uint32_t>(block.size());
}

// SendData: offset, then the block.
std::size_t blockPayload(uint8_t (&payload)[4 + hx::kMaxBlock], uint32_t offset, std::span<const uint8_t> block)
{
    hx::PayloadWriter writer(payload);
    writer.u32(offset).bytes(block);
    return writer.written().size();
}

} // namespace

void Upload::begin()
{
    // A new upload: whatever the previous one still had on its way is
    // forgotten, and so are its bytes (their memory stays for this one).
    for (Exchange *exchange : mBlocks) mConnection.release(*exchange);
    mBlocks.clear();
    mKept.clear();
    mActive = true;
    mKeeping = true;
    mFailed = false;
    mRestartDue = false;
    mRestarts = 0;
    mEnd = 0;
    mCrc = 0;
    mCrcRunning = true;
}

bool Upload::send(uint32_t offset, std::span<const uint8_t> block)
{
    if (offset == 0) begin();
    if (!mActive) {
        // Not an upload this connection began: one request, as without a
        // window, and the controller judges where the block goes.
        uint8_t payload[4 + hx::kMaxBlock];
        const std::size_t size = blockPayload(payload, offset, block);
        return mConnection.requestOk(hx::Command::SendData, {payload, size}, 0, hx::kVersion).has_value();
    }
    if (mFailed || offset > mEnd) return false;
    const bool overwrites = offset < mEnd;
    keep(offset, block);
    put(offset, block, overwrites);
    recover();
    return !mFailed;
}

void Upload::keep(uint32_t offset, std::span<const uint8_t> block)
{
    const uint32_t end = std::max(mEnd, blockEnd(offset, block));
    if (offset == mEnd) {
        if (mCrcRunning) mCrc = hx::crc32(block, mCrc);
    } else {
        mCrcRunning = false;
    }
    if (mKeeping && end <= kKeptBytes) {
        // Reserved once, so keeping never holds two copies while it grows.
        mKept.reserve(kKeptBytes);
        const std::size_t over = std::min<std::size_t>(block.size(), mKept.size() - offset);
        std::memcpy(mKept.data() + offset, block.data(), over);
        mKept.insert(mKept.end(), block.begin() + static_cast<std::ptrdiff_t>(over), block.end());
    } else if (mKeeping) {
        // Too large to keep: its memory goes back at once.
        mKeeping = false;
        std::vector<uint8_t>().swap(mKept);
    }
    mEnd = end;
}

void Upload::put(uint32_t offset, std::span<const uint8_t> block, bool overwrites)
{
    const bool alone = offset == 0 || overwrites;
    drain(alone);
    if (mFailed || mRestartDue) return; // a restart sends this block again
    uint8_t payload[4 + hx::kMaxBlock];
    const std::size_t size = blockPayload(payload, offset, block);
    Exchange *exchange = mConnection.start(hx::Command::SendData, {payload, size}, 0);
    if (!exchange) {
        mFailed = true;
        return;
    }
    exchange->offset = offset;
    mBlocks.push_back(exchange);
    if (alone) drain(true);
}

void Upload::drain(bool all)
{
    for (;;) {
        for (auto it = mBlocks.begin(); it != mBlocks.end();) {
            Exchange &exchange = **it;
            if (!exchange.done()) {
                ++it;
                continue;
            }
            if (exchange.state == Exchange::State::Failed) mFailed = true;
            else if (exchange.status != hx::Status::Ok) refused();
            mConnection.release(exchange);
            it = mBlocks.erase(it);
        }
        // The window may shrink while waiting.
        if (mFailed || mRestartDue || (all ? mBlocks.empty() : mConnection.room())) return;
        mConnection.pump();
    }
}

void Upload::refused()
{
    if (mKeeping && mRestarts < kMaxRestarts) {
        mRestartDue = true;
    } else {
        mFailed = true;
    }
}

void Upload::recover()
{
    while (mRestartDue && !mFailed) {
        mRestartDue = false;
        ++mRestarts;
        for (Exchange *exchange : mBlocks) mConnection.release(*exchange);
        mBlocks.clear();
        for (uint32_t at = 0; at < mEnd && !mFailed && !mRestartDue; at += hx::kMaxBlock) {
            const auto length = std::min<std::size_t>(hx::kMaxBlock, mEnd - at);
            put(at, {mKept.data() + at, length}, false);
        }
    }
}

void Upload::settle()
{
    if (!mActive) return;
    do {
        drain(true);
        recover();
    } while (!mFailed && !mBlocks.empty());
}

std::optional<uint32_t> Upload::checksum() const
{
    if (mCrcRunning) return mCrc;
    if (mKeeping) return hx::crc32(mKept);
    return std::nullopt;
}

bool Upload::save(uint8_t drive, std::span<const uint8_t> path, uint32_t size, uint16_t time, uint16_t date)
{
    uint8_t payload[4 + 2 + 2 + 4 + 1 + hx::kMaxPath];
    for (;;) {
        settle();
        if (mActive && mFailed) {
            mActive = false;
            return false;
        }
        // With the whole file's CRC-32 when it is known, the size is that of
        // the bytes sent and the controller reads version 2 frames;
        // otherwise as without a window, and the controller judges the size.
        const auto crc = mActive && mConnection.numbered() && size == mEnd ? checksum() : std::nullopt;
        hx::PayloadWriter writer(payload);
        writer.u32(size).u16(time).u16(date);
        if (crc) writer.u32(*crc);
        writer.u8(drive).bytes(path);
        const uint8_t version = crc ? hx::kVersionNumbered : hx::kVersion;
        const auto reply = mConnection.request(hx::Command::SaveToFile, writer.written(), 0, version);
        // The controller lost the bytes sent (or some of them were another
        // upload's): send them again and save again.
        if (reply && reply->status == hx::Status::SizeMismatch && mActive && size == mEnd && mKeeping &&
            mRestarts < kMaxRestarts) {
            mRestartDue = true;
            recover();
            continue;
        }
        mActive = false;
        return reply && reply->status == hx::Status::Ok;
    }
}

} // namespace hxlib
