// The protocol's frame decoder as the library and hxsim meet it: one UDP
// datagram at a time, and a serial byte stream cut into frames.
#pragma once

#include "Check.h"
#include "HxProtocol.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace fuzzcheck {

inline bool sameFrame(const hx::Frame &a, const hx::Frame &b)
{
    return a.device == b.device && a.sequence == b.sequence && a.command == b.command &&
           std::equal(a.payload.begin(), a.payload.end(), b.payload.begin(), b.payload.end());
}

// A datagram either is one frame, which then encodes back to the same bytes,
// or is dropped. Any frame built from the input decodes to its fields, and a
// single flipped bit makes it invalid.
inline void checkFrameDatagram(Bytes input)
{
    if (const auto frame = hx::decodeFrame(input)) {
        // A numbered frame carries its copy number ahead of the payload.
        const std::size_t copyByte = frame->version == hx::kVersionNumbered ? 1 : 0;
        FUZZ_CHECK(input.size() == hx::kHeaderSize + copyByte + frame->payload.size() + hx::kCrcSize);
        FUZZ_CHECK(frame->payload.size() <= hx::maxPayload(frame->version));
        FUZZ_CHECK(frame->payload.data() == input.data() + hx::kHeaderSize + copyByte);
        uint8_t again[hx::kMaxFrame];
        const std::size_t size = hx::encodeFrame(again, *frame);
        FUZZ_CHECK(size == input.size() && std::equal(input.begin(), input.end(), again));
    }

    InputReader in(input);
    const uint16_t device = in.u16();
    const uint16_t sequence = in.u16();
    const uint8_t command = in.u8();
    const uint16_t flip = in.u16();
    const Bytes payload = in.rest();
    uint8_t built[hx::kMaxFrame + 1];
    const std::size_t size = hx::encodeFrame(built, device, sequence, command, payload);
    if (payload.size() > hx::kMaxPayload) {
        FUZZ_CHECK(size == 0);
        return;
    }
    FUZZ_CHECK(size == hx::kHeaderSize + payload.size() + hx::kCrcSize);
    const auto decoded = hx::decodeFrame({built, size});
    FUZZ_CHECK(decoded && sameFrame(*decoded, hx::Frame{device, sequence, command, payload}));
    // Too small a buffer is refused, not overrun.
    FUZZ_CHECK(hx::encodeFrame({built, size - 1}, device, sequence, command, payload) == 0);

    const std::size_t bit = flip % (size * 8);
    built[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    FUZZ_CHECK(!hx::decodeFrame({built, size}));
    // One byte more or less than the frame is not a frame either.
    built[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    FUZZ_CHECK(!hx::decodeFrame({built, size - 1}));
    FUZZ_CHECK(!hx::decodeFrame({built, size + 1}));
}

// A serial line: the input arrives in chunks of a size the input chooses,
// through push() or the read-into-buffer path. Every frame handed on is a
// valid one. Whatever came before, after a stretch of bytes without a start
// marker, a good frame is found again, and only it.
inline void checkFrameStream(Bytes input)
{
    InputReader in(input);
    const std::size_t chunk = 1 + in.u8() * 8u;
    const bool readInto = in.u8() & 1;
    const Bytes stream = in.rest();

    hx::StreamFramer framer;
    const auto drain = [&](std::vector<std::vector<uint8_t>> *frames) {
        while (auto frame = framer.next()) {
            const auto decoded = hx::decodeFrame(*frame);
            FUZZ_CHECK(decoded.has_value());
            if (frames) frames->emplace_back(frame->begin(), frame->end());
        }
    };
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const Bytes part = stream.subspan(at, std::min(chunk, stream.size() - at));
        if (readInto) {
            const auto space = framer.writableSpace();
            const std::size_t count = std::min(space.size(), part.size());
            if (count > 0) std::memcpy(space.data(), part.data(), count);
            framer.commit(count);
        } else {
            framer.push(part);
        }
        drain(nullptr);
    }

    // A quiet line long enough to complete any header seen so far.
    const std::vector<uint8_t> quiet(hx::kMaxFrame, 0);
    framer.push(quiet);
    drain(nullptr);

    const uint8_t payload[] = {0x00, 0xA5, 0x5A, 0x01};
    uint8_t good[hx::kMaxFrame];
    const std::size_t size = hx::encodeFrame(good, 7, 0xA55A, 0x81, payload);
    framer.push({good, size});
    std::vector<std::vector<uint8_t>> frames;
    drain(&frames);
    FUZZ_CHECK(frames.size() == 1 && std::equal(frames[0].begin(), frames[0].end(), good, good + size));
}

}  // namespace fuzzcheck
