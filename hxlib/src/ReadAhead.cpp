#include "ReadAhead.h"

#include <algorithm>
#include <cstring>

namespace hxlib {

std::optional<uint32_t> ReadAhead::load(std::span<const uint8_t> drivePath)
{
    drop();
    mSize = 0;
    const auto data = mConnection.requestOk(hx::Command::LoadFromFile, drivePath, 4);
    if (!data) return std::nullopt;
    uint32_t size = 0;
    hx::PayloadReader(*data).u32(size);
    mSize = size;
    return size;
}

void ReadAhead::drop()
{
    while (mCount > 0) dropFirst();
}

void ReadAhead::dropFirst()
{
    mConnection.release(first());
    mFirst = (mFirst + 1) % mAhead.size();
    --mCount;
}

void ReadAhead::askAhead()
{
    while (mConnection.room() && mNext < mSize) {
        const auto length = static_cast<uint16_t>(std::min<uint32_t>(mBlock, mSize - mNext));
        uint8_t payload[6];
        hx::PayloadWriter(payload).u32(mNext).u16(length);
        Exchange *exchange = mConnection.start(hx::Command::ReceiveData, payload, length);
        if (!exchange) return;
        exchange->offset = mNext;
        exchange->length = length;
        mAhead[(mFirst + mCount) % mAhead.size()] = exchange;
        ++mCount;
        mNext += length;
    }
}

bool ReadAhead::receive(uint32_t offset, uint16_t length, uint8_t *buffer)
{
    const bool inside = mSize > 0 && offset <= mSize && length <= mSize - offset;
    if (mCount == 0 || first().offset != offset || first().length != length) {
        drop();
        mNext = offset;
        mBlock = length;
    }
    if (!inside) {
        // Outside what was loaded: one request, and the controller says no.
        uint8_t payload[6];
        hx::PayloadWriter(payload).u32(offset).u16(length);
        const auto data = mConnection.requestOk(hx::Command::ReceiveData, payload, length);
        if (data) std::memcpy(buffer, data->data(), data->size());
        return data.has_value();
    }
    askAhead();
    if (mCount == 0) return false;
    // Blocks after it that come first make room for more.
    while (!first().done()) {
        mConnection.pump();
        askAhead();
    }
    const bool ok = first().ok() && first().dataSize == length;
    if (ok) std::memcpy(buffer, first().data, length);
    dropFirst();
    if (!ok) {
        drop();
        return false;
    }
    // The next blocks go out before the caller writes this one away.
    askAhead();
    return true;
}

} // namespace hxlib
