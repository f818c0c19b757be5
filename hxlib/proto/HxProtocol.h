// The wire protocol between hxlib and a controller (hxsim or real hardware).
// docs/protocol.md describes it byte by byte; this header is its one encoder
// and decoder, shared by the library and the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "HexalinkVRX7300.h"

namespace hx {

// One step of the reflected CRC-16, polynomial 0xA001 (CRC-16/ARC when started
// from 0). Stored password check values are made with it, so it never changes.
uint16_t crc16Step(uint16_t crc, uint8_t byte);
uint16_t crc16(std::span<const uint8_t> bytes, uint16_t start = 0);
// CRC-32 as zip and Ethernet compute it ("123456789" gives 0xCBF43926); a
// running value goes on over the next bytes: crc32(b, crc32(a)) = crc32(ab).
uint32_t crc32(std::span<const uint8_t> bytes, uint32_t previous = 0);

constexpr uint8_t kStartMarker0 = 0xA5;
constexpr uint8_t kStartMarker1 = 0x5A;
// Version 1 frames are what every controller reads. In version 2 frames the
// body starts with a copy number: which copy of a request this is, and in a
// reply which copy it answers.
constexpr uint8_t kVersion = 1;
constexpr uint8_t kVersionNumbered = 2;
constexpr std::size_t kHeaderSize = 10; // marker 2, version 1, device 2, sequence 2, command 1, length 2
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kMaxPayload = 1280;
constexpr std::size_t kMaxFrame = kHeaderSize + kMaxPayload + kCrcSize;
constexpr std::size_t kMaxBlock = 1024;
constexpr std::size_t kMaxPath = 255;
constexpr std::size_t kMaxText = HX_MAX_TEXT;
constexpr std::size_t kTextInfoSize = 20;
constexpr std::size_t kNetConfigSize = 512;
constexpr std::size_t kLedConfigSize = 208;
constexpr std::size_t kPlayInfoSize = 10;
constexpr std::size_t kLedWidthOffset = 92;
constexpr std::size_t kLedHeightOffset = 94;
constexpr std::size_t kNameCapacity = 16; // bytes 0..15 of the net-configuration block
constexpr uint8_t kReplyFlag = 0x80;
// The most blocks a controller may offer to take at once.
constexpr std::size_t kMaxWindow = 32;
// A library keeps the requests it has on their way within this many
// sequence numbers; the controller remembers twice as many requests per
// sender, so every copy still on its way finds its request, and one from
// further back is known to be stale.
constexpr std::size_t kMaxSpan = 128;

// What a controller offers in bytes 200..203 of its LED configuration block:
// the marker "HX", the highest frame version it reads, and how many blocks
// of a transfer it takes at once in any order. A controller without the
// marker offers nothing: version 1 frames, one request at a time.
constexpr std::size_t kOfferOffset = 200;
struct Offer {
    uint8_t version = kVersion;
    uint8_t window = 1;
};
Offer readOffer(std::span<const uint8_t> ledConfig);
void writeOffer(std::span<uint8_t> ledConfig, Offer offer);

enum class Command : uint8_t {
    Reset = 0x01,
    TurnVga = 0x02,
    ShowString = 0x03,
    SendData = 0x04,
    SaveToFile = 0x05,
    LoadFromFile = 0x06,
    ReceiveData = 0x07,
    MakeFolder = 0x08,
    RemoveFile = 0x09,
    GetNetConfig = 0x0A,
    GetLedConfig = 0x0B,
    GetPlayInfo = 0x0C,
};

// First payload byte of every reply.
enum class Status : uint8_t {
    Ok = 0,
    BadRequest = 1,   // payload malformed or a value out of its range
    BadDrive = 2,     // drive number other than 0..2
    BadPath = 3,      // path refused: leaves its disk, control characters, too long
    NotFound = 4,     // file or folder missing
    SizeMismatch = 5, // size given to SaveToFile differs from the bytes sent
    IoError = 6,      // the controller's disk failed
    OutOfRange = 7,   // offset or length outside the upload or download buffer
};

const char *statusText(Status status);

struct Frame {
    uint16_t device = 0;
    uint16_t sequence = 0;
    uint8_t command = 0;
    std::span<const uint8_t> payload;
    uint8_t version = kVersion;
    uint8_t copy = 0; // version 2 only
};

// The most payload bytes a frame of this version carries.
constexpr std::size_t maxPayload(uint8_t version)
{
    return version == kVersionNumbered ? kMaxPayload - 1 : kMaxPayload;
}

// Writes one frame into out; returns its size, or 0 when the payload is
// larger than the version carries, the version is unknown or out is too small.
std::size_t encodeFrame(std::span<uint8_t> out, const Frame &frame);
// A version 1 frame.
std::size_t encodeFrame(std::span<uint8_t> out, uint16_t device, uint16_t sequence, uint8_t command,
                        std::span<const uint8_t> payload);
// Rewrites the copy number of an encoded version 2 frame (and its CRC).
void renumberFrame(std::span<uint8_t> frame, uint8_t copy);

// Accepts bytes that are exactly one well-formed frame of version 1 or 2
// with a valid CRC.
std::optional<Frame> decodeFrame(std::span<const uint8_t> bytes);

// Cuts frames out of a serial byte stream. Noise before a frame, a false start
// marker, a bad length or a bad CRC costs one byte each and the search goes on
// from the next byte, so the framer resynchronises on the next good frame.
class StreamFramer {
public:
    // Room for the caller to read bytes into, then commit() how many arrived.
    std::span<uint8_t> writableSpace();
    void commit(std::size_t count);
    void push(std::span<const uint8_t> bytes);
    // The next complete frame with a valid CRC; valid until the next call.
    std::optional<std::span<const uint8_t>> next();
    void clear() { mBegin = mEnd = 0; }
    // A line that went quiet in the middle of a frame: the bytes held can no
    // longer be the start of one, so give up the first and search again.
    bool hasPartialFrame() const { return mEnd > mBegin; }
    void skipByte()
    {
        if (mEnd > mBegin) ++mBegin;
    }
    // Whether a start marker follows the start of the partial frame held:
    // then the held start may be false and a real frame wait behind it.
    bool holdsLaterStart() const;

private:
    void compact();

    uint8_t mBuffer[2 * kMaxFrame] = {};
    std::size_t mBegin = 0;
    std::size_t mEnd = 0;
};

// Little-endian field access with bounds checks; a failed read sets the
// reader to failed and every later read fails too.
class PayloadReader {
public:
    explicit PayloadReader(std::span<const uint8_t> bytes) : mBytes(bytes) {}
    bool u8(uint8_t &value);
    bool u16(uint16_t &value);
    bool u32(uint32_t &value);
    bool bytes(std::size_t count, std::span<const uint8_t> &value);
    std::span<const uint8_t> rest();
    bool ok() const { return mOk; }
    bool atEnd() const { return mOk && mPos == mBytes.size(); }

private:
    std::span<const uint8_t> mBytes;
    std::size_t mPos = 0;
    bool mOk = true;
};

// Appends little-endian fields into a fixed buffer; overflows make it failed.
class PayloadWriter {
public:
    explicit PayloadWriter(std::span<uint8_t> out) : mOut(out) {}
    PayloadWriter &u8(uint8_t value);
    PayloadWriter &u16(uint16_t value);
    PayloadWriter &u32(uint32_t value);
    PayloadWriter &bytes(std::span<const uint8_t> value);
    bool ok() const { return mOk; }
    std::span<const uint8_t> written() const { return mOut.first(mOk ? mPos : 0); }

private:
    std::span<uint8_t> mOut;
    std::size_t mPos = 0;
    bool mOk = true;
};

void putU16(uint8_t *out, uint16_t value);
uint16_t getU16(const uint8_t *in);

} // namespace hx
