#include "HxProtocol.h"

#include <algorithm>
#include <cstring>

namespace hx {

uint16_t crc16Step(uint16_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    return crc;
}

uint16_t crc16(std::span<const uint8_t> bytes, uint16_t start)
{
    // Every block of a transfer passes through here on both sides, so the
    // CRC runs eight bytes a step: table k holds the effect of a byte
    // followed by k zero bytes.
    static const auto tables = [] {
        struct Tables {
            uint16_t t[8][256];
        } tables{};
        for (int i = 0; i < 256; ++i) tables.t[0][i] = crc16Step(0, static_cast<uint8_t>(i));
        for (int k = 1; k < 8; ++k)
            for (int i = 0; i < 256; ++i)
                tables.t[k][i] =
                    static_cast<uint16_t>((tables.t[k - 1][i] >> 8) ^ tables.t[0][tables.t[k - 1][i] & 0xFF]);
        return tables;
    }();
    const auto &t = tables.t;
    uint16_t crc = start;
    const uint8_t *p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 8; left -= 8, p += 8) {
        const uint8_t b0 = static_cast<uint8_t>(p[0] ^ crc), b1 = static_cast<uint8_t>(p[1] ^ (crc >> 8));
        crc = static_cast<uint16_t>(t[7][b0] ^ t[6][b1] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
                                    t[1][p[6]] ^ t[0][p[7]]);
    }
    for (; left > 0; --left, ++p) crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ *p) & 0xFF]);
    return crc;
}

uint32_t crc32(std::span<const uint8_t> bytes, uint32_t previous)
{
    // A whole file's check runs over every byte it has, on both sides; the
    // same eight-bytes-a-step tables as crc16, for the reflected polynomial
    // 0xEDB88320.
    static const auto tables = [] {
        struct Tables {
            uint32_t t[8][256];
        } tables{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            tables.t[0][i] = value;
        }
        for (int k = 1; k < 8; ++k)
            for (int i = 0; i < 256; ++i)
                tables.t[k][i] = (tables.t[k - 1][i] >> 8) ^ tables.t[0][tables.t[k - 1][i] & 0xFF];
        return tables;
    }();
    const auto &t = tables.t;
    uint32_t crc = ~previous;
    const uint8_t *p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 8; left -= 8, p += 8) {
        const uint32_t low = crc ^ (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                    static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; left > 0; --left, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return ~crc;
}

Offer readOffer(std::span<const uint8_t> ledConfig)
{
    if (ledConfig.size() < kOfferOffset + 4 || ledConfig[kOfferOffset] != 'H' || ledConfig[kOfferOffset + 1] != 'X')
        return {};
    Offer offer;
    offer.version = std::min(ledConfig[kOfferOffset + 2], kVersionNumbered);
    offer.window = static_cast<uint8_t>(std::clamp<std::size_t>(ledConfig[kOfferOffset + 3], 1, kMaxWindow));
    if (offer.version < kVersionNumbered) return {};
    return offer;
}

void writeOffer(std::span<uint8_t> ledConfig, Offer offer)
{
    if (ledConfig.size() < kOfferOffset + 4) return;
    ledConfig[kOfferOffset] = 'H';
    ledConfig[kOfferOffset + 1] = 'X';
    ledConfig[kOfferOffset + 2] = offer.version;
    ledConfig[kOfferOffset + 3] = offer.window;
}

const char *statusText(Status status)
{
    switch (status) {
    case Status::Ok: return "ok";
    case Status::BadRequest: return "bad request";
    case Status::BadDrive: return "bad drive";
    case Status::BadPath: return "path refused";
    case Status::NotFound: return "not found";
    case Status::SizeMismatch: return "size or checksum does not match the bytes sent";
    case Status::IoError: return "controller disk error";
    case Status::OutOfRange: return "offset or length out of range";
    }
    return "unknown error";
}

void putU16(uint8_t *out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

uint16_t getU16(const uint8_t *in)
{
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

static void putCrc(std::span<uint8_t> frame)
{
    putU16(frame.data() + frame.size() - kCrcSize, crc16(frame.subspan(2, frame.size() - 2 - kCrcSize)));
}

std::size_t encodeFrame(std::span<uint8_t> out, const Frame &frame)
{
    if (frame.version != kVersion && frame.version != kVersionNumbered) return 0;
    const std::size_t numbered = frame.version == kVersionNumbered ? 1 : 0;
    const std::size_t body = numbered + frame.payload.size();
    const std::size_t size = kHeaderSize + body + kCrcSize;
    if (frame.payload.size() > maxPayload(frame.version) || out.size() < size) return 0;
    uint8_t *p = out.data();
    p[0] = kStartMarker0;
    p[1] = kStartMarker1;
    p[2] = frame.version;
    putU16(p + 3, frame.device);
    putU16(p + 5, frame.sequence);
    p[7] = frame.command;
    putU16(p + 8, static_cast<uint16_t>(body));
    if (numbered) p[kHeaderSize] = frame.copy;
    if (!frame.payload.empty()) std::memcpy(p + kHeaderSize + numbered, frame.payload.data(), frame.payload.size());
    putCrc(out.first(size));
    return size;
}

std::size_t encodeFrame(std::span<uint8_t> out, uint16_t device, uint16_t sequence, uint8_t command,
                        std::span<const uint8_t> payload)
{
    return encodeFrame(out, Frame{device, sequence, command, payload});
}

void renumberFrame(std::span<uint8_t> frame, uint8_t copy)
{
    if (frame.size() <= kHeaderSize + kCrcSize || frame[2] != kVersionNumbered) return;
    frame[kHeaderSize] = copy;
    putCrc(frame);
}

// Size of the frame that starts at bytes[0], or 0 when the header is not one
// of ours. Needs at least kHeaderSize bytes.
static std::size_t frameSizeFromHeader(const uint8_t *bytes)
{
    if (bytes[0] != kStartMarker0 || bytes[1] != kStartMarker1) return 0;
    const std::size_t length = getU16(bytes + 8);
    if (length > kMaxPayload) return 0;
    if (bytes[2] == kVersionNumbered) {
        if (length == 0) return 0; // no room for the copy number
    } else if (bytes[2] != kVersion) {
        return 0;
    }
    return kHeaderSize + length + kCrcSize;
}

static bool crcMatches(const uint8_t *frame, std::size_t size)
{
    return crc16({frame + 2, size - 2 - kCrcSize}) == getU16(frame + size - kCrcSize);
}

std::optional<Frame> decodeFrame(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kHeaderSize + kCrcSize || bytes.size() > kMaxFrame) return std::nullopt;
    const std::size_t size = frameSizeFromHeader(bytes.data());
    if (size != bytes.size() || !crcMatches(bytes.data(), size)) return std::nullopt;
    Frame frame;
    frame.version = bytes[2];
    frame.device = getU16(bytes.data() + 3);
    frame.sequence = getU16(bytes.data() + 5);
    frame.command = bytes[7];
    frame.payload = bytes.subspan(kHeaderSize, size - kHeaderSize - kCrcSize);
    if (frame.version == kVersionNumbered) {
        frame.copy = frame.payload[0];
        frame.payload = frame.payload.subspan(1);
    }
    return frame;
}

void StreamFramer::compact()
{
    if (mBegin == 0) return;
    std::memmove(mBuffer, mBuffer + mBegin, mEnd - mBegin);
    mEnd -= mBegin;
    mBegin = 0;
}

std::span<uint8_t> StreamFramer::writableSpace()
{
    compact();
    return {mBuffer + mEnd, sizeof(mBuffer) - mEnd};
}

void StreamFramer::commit(std::size_t count)
{
    mEnd += std::min(count, sizeof(mBuffer) - mEnd);
}

void StreamFramer::push(std::span<const uint8_t> bytes)
{
    while (!bytes.empty()) {
        auto space = writableSpace();
        if (space.empty()) {
            // A full buffer holds no frame start worth keeping: a frame is at
            // most half of it. Drop the oldest bytes to make room.
            mBegin = std::min(mEnd, mBegin + kMaxFrame);
            continue;
        }
        const std::size_t count = std::min(space.size(), bytes.size());
        std::memcpy(space.data(), bytes.data(), count);
        commit(count);
        bytes = bytes.subspan(count);
    }
}

bool StreamFramer::holdsLaterStart() const
{
    for (std::size_t i = mBegin + 1; i + 1 < mEnd; ++i)
        if (mBuffer[i] == kStartMarker0 && mBuffer[i + 1] == kStartMarker1) return true;
    return false;
}

std::optional<std::span<const uint8_t>> StreamFramer::next()
{
    while (mEnd - mBegin >= 2) {
        const uint8_t *start = static_cast<const uint8_t *>(
            std::memchr(mBuffer + mBegin, kStartMarker0, mEnd - mBegin));
        if (!start) {
            mBegin = mEnd;
            break;
        }
        mBegin = static_cast<std::size_t>(start - mBuffer);
        const std::size_t available = mEnd - mBegin;
        if (available < kHeaderSize) {
            // Reject a false start early when the bytes we have already say so.
            if (available >= 2 && mBuffer[mBegin + 1] != kStartMarker1) {
                ++mBegin;
                continue;
            }
            break;
        }
        const std::size_t size = frameSizeFromHeader(mBuffer + mBegin);
        if (size == 0) {
            ++mBegin;
            continue;
        }
        if (available < size) {
            // A frame longer than the buffer can never complete; kMaxFrame
            // bounds size, and the buffer holds two of them.
            break;
        }
        if (!crcMatches(mBuffer + mBegin, size)) {
            ++mBegin;
            continue;
        }
        std::span<const uint8_t> frame(mBuffer + mBegin, size);
        mBegin += size;
        return frame;
    }
    return std::nullopt;
}

bool PayloadReader::u8(uint8_t &value)
{
    std::span<const uint8_t> raw;
    if (!bytes(1, raw)) return false;
    value = raw[0];
    return true;
}

bool PayloadReader::u16(uint16_t &value)
{
    std::span<const uint8_t> raw;
    if (!bytes(2, raw)) return false;
    value = getU16(raw.data());
    return true;
}

bool PayloadReader::u32(uint32_t &value)
{
    std::span<const uint8_t> raw;
    if (!bytes(4, raw)) return false;
    value = static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
            static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24;
    return true;
}

bool PayloadReader::bytes(std::size_t count, std::span<const uint8_t> &value)
{
    if (!mOk || count > mBytes.size() - mPos) {
        mOk = false;
        return false;
    }
    value = mBytes.subspan(mPos, count);
    mPos += count;
    return true;
}

std::span<const uint8_t> PayloadReader::rest()
{
    if (!mOk) return {};
    auto value = mBytes.subspan(mPos);
    mPos = mBytes.size();
    return value;
}

PayloadWriter &PayloadWriter::bytes(std::span<const uint8_t> value)
{
    if (!mOk || value.size() > mOut.size() - mPos) {
        mOk = false;
        return *this;
    }
    if (!value.empty()) std::memcpy(mOut.data() + mPos, value.data(), value.size());
    mPos += value.size();
    return *this;
}

PayloadWriter &PayloadWriter::u8(uint8_t value)
{
    return bytes({&value, 1});
}

PayloadWriter &PayloadWriter::u16(uint16_t value)
{
    uint8_t raw[2];
    putU16(raw, value);
    return bytes(raw);
}

PayloadWriter &PayloadWriter::u32(uint32_t value)
{
    const uint8_t raw[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return bytes(raw);
}

} // namespace hx
