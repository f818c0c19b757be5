#include "HexalinkVRX7300.h"
#include "HxProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(const std::string &text)
{
    return {text.begin(), text.end()};
}

uint16_t foldWithLibrary(const std::vector<uint8_t> &bytes)
{
    uint16_t crc = 0;
    for (uint8_t byte : bytes) crc = HX_NewCRC(crc, byte);
    return crc;
}

struct CrcVector {
    std::vector<uint8_t> bytes;
    uint16_t crc;
};

// CRC-16/ARC reference values (reflected, polynomial 0xA001, start 0).
const CrcVector kCrcVectors[] = {
    {bytesOf("123456789"), 0xBB3D},
    {{}, 0x0000},
    {{0x00}, 0x0000},
    {{0x01}, 0xC0C1},
    {{0xFF}, 0x4040},
    {bytesOf("A"), 0x30C0},
    {bytesOf("abc"), 0x9738},
    {bytesOf("password"), 0xC877},
};

TEST(Crc, MatchesReferenceVectorsThroughTheLibraryAndTheFrameCode)
{
    for (const auto &vector : kCrcVectors) {
        EXPECT_EQ(foldWithLibrary(vector.bytes), vector.crc) << std::string(vector.bytes.begin(), vector.bytes.end());
        EXPECT_EQ(hx::crc16(vector.bytes), vector.crc);
    }
}

TEST(Crc, FastPathAgreesWithTheStepForEveryLengthAndStart)
{
    std::vector<uint8_t> bytes;
    for (int length = 0; length < 40; ++length) {
        for (uint16_t start : {0x0000, 0x1234, 0xFFFF}) {
            uint16_t stepped = start;
            for (uint8_t byte : bytes) stepped = hx::crc16Step(stepped, byte);
            EXPECT_EQ(hx::crc16(bytes, start), stepped) << "length " << length;
        }
        bytes.push_back(static_cast<uint8_t>(length * 37 + 11));
    }
}

std::vector<uint8_t> frame(uint16_t device, uint16_t sequence, uint8_t command, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> out(hx::kMaxFrame);
    out.resize(hx::encodeFrame(out, device, sequence, command, payload));
    return out;
}

TEST(Frame, RoundTripsItsFields)
{
    const std::vector<uint8_t> payload = {1, 2, 3, 0xA5, 0x5A};
    const auto bytes = frame(0x1234, 0xBEEF, 0x04, payload);
    ASSERT_EQ(bytes.size(), hx::kHeaderSize + payload.size() + hx::kCrcSize);
    EXPECT_EQ(bytes[0], 0xA5);
    EXPECT_EQ(bytes[1], 0x5A);
    EXPECT_EQ(bytes[2], hx::kVersion);
    const auto decoded = hx::decodeFrame(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->device, 0x1234);
    EXPECT_EQ(decoded->sequence, 0xBEEF);
    EXPECT_EQ(decoded->command, 0x04);
    EXPECT_EQ(std::vector<uint8_t>(decoded->payload.begin(), decoded->payload.end()), payload);
}

TEST(Frame, RefusesPayloadsAboveTheLargest)
{
    std::vector<uint8_t> out(hx::kMaxFrame + 10);
    EXPECT_GT(hx::encodeFrame(out, 1, 1, 1, std::vector<uint8_t>(hx::kMaxPayload)), 0u);
    EXPECT_EQ(hx::encodeFrame(out, 1, 1, 1, std::vector<uint8_t>(hx::kMaxPayload + 1)), 0u);
}

TEST(Frame, DecodeRejectsDamagedFrames)
{
    const auto good = frame(7, 9, 0x01, {0, 0, 0, 0});
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
    };
    auto flipped = [&](std::size_t at) {
        auto bytes = good;
        bytes[at] ^= 0x01;
        return bytes;
    };
    auto longer = good;
    longer.push_back(0);
    const Case cases[] = {
        {"empty", {}},
        {"truncated", {good.begin(), good.end() - 1}},
        {"header only", {good.begin(), good.begin() + hx::kHeaderSize}},
        {"trailing byte", longer},
        {"bad marker", flipped(0)},
        {"bad version", flipped(2)},
        {"device bit", flipped(3)},
        {"payload bit", flipped(hx::kHeaderSize)},
        {"crc bit", flipped(good.size() - 1)},
        {"length says more", flipped(8)},
    };
    EXPECT_TRUE(hx::decodeFrame(good));
    for (const auto &c : cases) EXPECT_FALSE(hx::decodeFrame(c.bytes)) << c.what;
}

TEST(Frame, NumberedFramesCarryTheirCopyNumberWhichARepeatRewrites)
{
    const std::vector<uint8_t> payload = {4, 5, 6};
    std::vector<uint8_t> bytes(hx::kMaxFrame);
    bytes.resize(hx::encodeFrame(bytes, {9, 77, 0x07, payload, hx::kVersionNumbered, 3}));
    ASSERT_EQ(bytes.size(), hx::kHeaderSize + 1 + payload.size() + hx::kCrcSize);
    for (const uint8_t copy : {3, 200}) {
        hx::renumberFrame(bytes, copy);
        const auto decoded = hx::decodeFrame(bytes);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->version, hx::kVersionNumbered);
        EXPECT_EQ(decoded->copy, copy);
        EXPECT_EQ(decoded->sequence, 77);
        EXPECT_EQ(std::vector<uint8_t>(decoded->payload.begin(), decoded->payload.end()), payload);
    }
    std::vector<uint8_t> out(hx::kMaxFrame);
    EXPECT_GT(hx::encodeFrame(out, {1, 1, 1, std::vector<uint8_t>(hx::kMaxPayload - 1), hx::kVersionNumbered}), 0u);
    EXPECT_EQ(hx::encodeFrame(out, {1, 1, 1, std::vector<uint8_t>(hx::kMaxPayload), hx::kVersionNumbered}), 0u);
    EXPECT_EQ(hx::encodeFrame(out, {1, 1, 1, payload, 3}), 0u) << "an unknown version";
    // Version 2 with no room for the copy number is no frame.
    auto empty = frame(1, 1, 1, {});
    empty[2] = hx::kVersionNumbered;
    hx::putU16(empty.data() + empty.size() - 2, hx::crc16({empty.data() + 2, empty.size() - 4}));
    EXPECT_FALSE(hx::decodeFrame(empty));
}

TEST(Crc, Crc32MatchesReferenceValuesAndGoesOnOverPieces)
{
    EXPECT_EQ(hx::crc32(bytesOf("123456789")), 0xCBF43926u);
    EXPECT_EQ(hx::crc32({}), 0u);
    EXPECT_EQ(hx::crc32(bytesOf("a")), 0xE8B7BE43u);
    std::vector<uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    const uint32_t whole = hx::crc32(bytes);
    for (std::size_t cut : {0, 1, 9, 500, 999})
        EXPECT_EQ(hx::crc32(std::span(bytes).subspan(cut), hx::crc32(std::span(bytes).first(cut))), whole) << cut;
}

TEST(Offer, ReadsBackWhatAControllerWritesAndNothingFromOneThatWritesNothing)
{
    uint8_t block[hx::kLedConfigSize] = {};
    EXPECT_EQ(hx::readOffer(block).version, hx::kVersion);
    EXPECT_EQ(hx::readOffer(block).window, 1);
    hx::writeOffer(block, {hx::kVersionNumbered, 16});
    EXPECT_EQ(hx::readOffer(block).version, hx::kVersionNumbered);
    EXPECT_EQ(hx::readOffer(block).window, 16);
    hx::writeOffer(block, {hx::kVersionNumbered, 200});
    EXPECT_EQ(hx::readOffer(block).window, hx::kMaxWindow) << "never more than a library takes";
}

TEST(Frame, LengthAboveTheLargestIsRejectedBeforeUse)
{
    auto bytes = frame(1, 1, 1, {});
    hx::putU16(bytes.data() + 8, 0xFFFF);
    EXPECT_FALSE(hx::decodeFrame(bytes));
    hx::StreamFramer framer;
    framer.push(bytes);
    EXPECT_FALSE(framer.next());
}

std::vector<std::vector<uint8_t>> drain(hx::StreamFramer &framer)
{
    std::vector<std::vector<uint8_t>> frames;
    while (auto f = framer.next()) frames.emplace_back(f->begin(), f->end());
    return frames;
}

TEST(StreamFramer, FindsFramesBetweenNoiseAndAcrossPieces)
{
    const auto first = frame(3, 1, 0x0A, {});
    const auto second = frame(3, 2, 0x04, std::vector<uint8_t>(1024, 0xA5));
    struct Case {
        const char *what;
        std::vector<uint8_t> noise;
    };
    const Case cases[] = {
        {"none", {}},
        {"plain bytes", {0x00, 0x13, 0xFF}},
        {"lone start byte", {0xA5}},
        {"false marker", {0xA5, 0x5A, 0x07}},
        {"false header", {0xA5, 0x5A, 0x01, 0, 0, 0, 0, 0x04, 2, 0}},
        {"cut frame", {first.begin(), first.begin() + 6}},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> stream = c.noise;
        stream.insert(stream.end(), first.begin(), first.end());
        stream.insert(stream.end(), c.noise.begin(), c.noise.end());
        stream.insert(stream.end(), second.begin(), second.end());
        for (std::size_t piece : {std::size_t(1), std::size_t(7), stream.size()}) {
            hx::StreamFramer framer;
            std::vector<std::vector<uint8_t>> frames;
            for (std::size_t at = 0; at < stream.size(); at += piece) {
                framer.push({stream.data() + at, std::min(piece, stream.size() - at)});
                for (auto &f : drain(framer)) frames.push_back(std::move(f));
            }
            // A false header can swallow what follows until the line goes
            // quiet; skipping its first byte then resynchronises.
            while (frames.size() < 2 && framer.hasPartialFrame()) {
                framer.skipByte();
                for (auto &f : drain(framer)) frames.push_back(std::move(f));
            }
            ASSERT_EQ(frames.size(), 2u) << c.what << ", pieces of " << piece;
            EXPECT_EQ(frames[0], first) << c.what;
            EXPECT_EQ(frames[1], second) << c.what;
        }
    }
}

TEST(StreamFramer, TellsAFalseStartWithAFrameBehindItFromAFrameStillArriving)
{
    std::vector<uint8_t> frame(hx::kMaxFrame);
    frame.resize(hx::encodeFrame(frame, 3, 9, 0x8C, std::vector<uint8_t>{0, 1, 2}));
    hx::StreamFramer arriving;
    arriving.push(std::span<const uint8_t>(frame).first(frame.size() - 4));
    EXPECT_FALSE(arriving.next());
    EXPECT_TRUE(arriving.hasPartialFrame());
    EXPECT_FALSE(arriving.holdsLaterStart()) << "a reply still on its way";

    // A header claiming 1000 bytes, then a whole frame: held up behind it.
    hx::StreamFramer held;
    held.push(std::vector<uint8_t>{0xA5, 0x5A, 0x01, 0x03, 0x00, 0x00, 0x00, 0x8B, 0xE8, 0x03});
    held.push(frame);
    EXPECT_FALSE(held.next());
    ASSERT_TRUE(held.holdsLaterStart());
    held.skipByte();
    const auto found = held.next();
    ASSERT_TRUE(found);
    EXPECT_TRUE(std::equal(found->begin(), found->end(), frame.begin(), frame.end()));
}

TEST(StreamFramer, SurvivesEndlessNoise)
{
    hx::StreamFramer framer;
    std::vector<uint8_t> noise(10 * hx::kMaxFrame);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = (i % 3) ? 0xA5 : 0x5A;
    framer.push(noise);
    EXPECT_TRUE(drain(framer).empty());
    const auto good = frame(1, 1, 0x0C, {});
    while (framer.hasPartialFrame()) framer.skipByte();
    framer.push(good);
    const auto frames = drain(framer);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], good);
}

TEST(Payload, ReaderStopsAtTheEndAndStaysFailed)
{
    const uint8_t bytes[] = {1, 2, 3};
    hx::PayloadReader reader(bytes);
    uint16_t word = 0;
    uint32_t dword = 0;
    uint8_t byte = 0;
    EXPECT_TRUE(reader.u16(word));
    EXPECT_EQ(word, 0x0201);
    EXPECT_FALSE(reader.u32(dword));
    EXPECT_FALSE(reader.u8(byte));
    EXPECT_FALSE(reader.ok());
}

} // namespace
