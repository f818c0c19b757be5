// The simulator's request handler driven with plain bytes, as a fuzz target
// drives it: every input either gets a well-formed reply or none, and only
// requests for this controller are answered.
#include "Controller.h"
#include "HxProtocol.h"
#include "RequestHandler.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using hx::Command;
using hx::Status;

Bytes request(Command command, const Bytes &payload, uint16_t device = 1, uint16_t sequence = 1)
{
    Bytes out(hx::kMaxFrame);
    out.resize(hx::encodeFrame(out, device, sequence, static_cast<uint8_t>(command), payload));
    return out;
}

// A version 2 request: copy says which copy of it this is.
Bytes numbered(Command command, const Bytes &payload, uint16_t sequence, uint8_t copy = 1)
{
    Bytes out(hx::kMaxFrame);
    out.resize(hx::encodeFrame(out, {1, sequence, static_cast<uint8_t>(command), payload, hx::kVersionNumbered, copy}));
    return out;
}

Bytes withPath(Bytes head, const std::string &path)
{
    head.insert(head.end(), path.begin(), path.end());
    return head;
}

class Handler : public ::testing::Test {
protected:
    Handler()
    {
        mController.addChangeHook([this](const hxsim::Controller &, hxsim::Controller::Change change) {
            changes.push_back(change);
        });
        handler.setLogger([this](const hxsim::RequestRecord &record) { records.push_back(record); });
    }

    // The reply's status, or nothing when no reply came.
    std::optional<Status> status(const Bytes &frame, uint64_t peer = 0)
    {
        const auto reply = handler.handle(frame, peer);
        if (reply.empty()) return std::nullopt;
        const auto decoded = hx::decodeFrame(reply);
        EXPECT_TRUE(decoded);
        if (!decoded || decoded->payload.empty()) return Status::BadRequest;
        lastData.assign(decoded->payload.begin() + 1, decoded->payload.end());
        lastCopy = decoded->copy;
        return static_cast<Status>(decoded->payload[0]);
    }

    std::string savedText(const std::string &name) const
    {
        std::ifstream in(dir.file("disk/C/" + name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TempDir dir;
    static hxsim::ControllerOptions options(const std::string &disk)
    {
        hxsim::ControllerOptions options;
        options.diskRoot = disk;
        return options;
    }

    hxsim::Controller mController{options(dir.file("disk"))};
    hxsim::RequestHandler handler{mController};
    std::vector<hxsim::Controller::Change> changes;
    std::vector<hxsim::RequestRecord> records;
    Bytes lastData;
    uint8_t lastCopy = 0;
};

TEST_F(Handler, RandomAndMutatedInputNeverGetsAnAnswerOrCrashes)
{
    std::mt19937 random(7);
    const Bytes valid = request(Command::GetPlayInfo, {});
    for (int round = 0; round < 20000; ++round) {
        Bytes input;
        if (round % 2) {
            input.resize(random() % 64);
            for (auto &byte : input) byte = static_cast<uint8_t>(random());
        } else {
            input = valid;
            input[random() % input.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        EXPECT_TRUE(handler.handle(input).empty());
    }
    EXPECT_TRUE(records.empty());
}

TEST_F(Handler, MalformedPayloadsAreRefusedWithAnErrorReply)
{
    const Bytes cases[] = {
        request(Command::Reset, {1, 0}),
        request(Command::TurnVga, {}),
        request(Command::ShowString, Bytes(19, 0)),
        request(Command::SendData, {0, 0, 0, 0}),
        request(Command::SaveToFile, {0, 0, 0, 0, 0}),
        request(Command::LoadFromFile, {}),
        request(Command::ReceiveData, {0, 0, 0, 0, 0, 0}),
        request(Command::MakeFolder, {}),
        request(Command::ShowString, withPath(Bytes(20, 0), std::string("ab\0cd", 5))),
    };
    for (const auto &frame : cases) EXPECT_EQ(status(frame), Status::BadRequest);
    EXPECT_EQ(status(request(Command::MakeFolder, withPath({5}, "X"))), Status::BadDrive);
    // The path rules answer BadPath for an empty path and for one over 255 bytes.
    EXPECT_EQ(status(request(Command::LoadFromFile, {0})), Status::BadPath);
    EXPECT_EQ(status(request(Command::RemoveFile, withPath({0}, std::string(256, 'x')))), Status::BadPath);
    EXPECT_EQ(status(request(Command::MakeFolder, withPath({2}, std::string(255, 'x')))), Status::Ok);
}

TEST_F(Handler, RepliesOnlyToRequestsAndOnlyToItsScreenOnALine)
{
    hxsim::RequestHandler line(mController, 3);
    EXPECT_TRUE(line.handle(request(Command::GetPlayInfo, {}, 4)).empty());
    EXPECT_FALSE(line.handle(request(Command::GetPlayInfo, {}, 3)).empty());
    // A reply frame (its own echo on a shared line) is not a request.
    Bytes echoed(hx::kMaxFrame);
    echoed.resize(hx::encodeFrame(echoed, 3, 1, hx::kReplyFlag | 0x0C, Bytes{0}));
    EXPECT_TRUE(line.handle(echoed).empty());
    EXPECT_TRUE(line.handle(request(static_cast<Command>(0x33), {}, 3)).empty()) << "unknown command";
}

TEST_F(Handler, ARepeatedRequestIsAnsweredWithoutRunningTwice)
{
    ASSERT_EQ(status(request(Command::SendData, {0, 0, 0, 0, 'a', 'b'}, 1, 10)), Status::Ok);
    const Bytes save = request(Command::SaveToFile, withPath({2, 0, 0, 0, 0, 0, 0, 0, 0}, "R.TXT"), 1, 11);
    ASSERT_EQ(status(save, 99), Status::Ok);
    // The reply was lost and the library sends the same frame again: it must
    // get the same Ok, not a size mismatch from an emptied upload buffer.
    EXPECT_EQ(status(save, 99), Status::Ok);
    EXPECT_EQ(records.size(), 2u);
    // From another sender the same bytes are a new request.
    EXPECT_EQ(status(save, 100), Status::SizeMismatch);
}

TEST_F(Handler, EverySenderKeepsItsOwnLastRequestSoOthersInBetweenBreakNoRepeat)
{
    constexpr uint64_t first = 1, second = 2;
    ASSERT_EQ(status(request(Command::SendData, {0, 0, 0, 0, 'a', 'b'}, 1, 10), first), Status::Ok);
    const Bytes save = request(Command::SaveToFile, withPath({2, 0, 0, 0, 0, 0, 0, 0, 2}, "R.TXT"), 1, 11);
    ASSERT_EQ(status(save, first), Status::Ok);
    EXPECT_FALSE(handler.repeated());
    const Bytes reboot = request(Command::Reset, {1, 0, 0, 0}, 1, 12);
    ASSERT_EQ(status(request(Command::GetPlayInfo, {}, 1, 500), second), Status::Ok);
    // The first sender's reply was lost and it repeats after the other one spoke.
    EXPECT_EQ(status(save, first), Status::Ok) << "not a size mismatch from a second run";
    EXPECT_TRUE(handler.repeated());

    ASSERT_EQ(status(reboot, first), Status::Ok);
    mController.finishBoot();
    ASSERT_EQ(status(request(Command::GetPlayInfo, {}, 1, 501), second), Status::Ok);
    EXPECT_EQ(status(reboot, first), Status::Ok);
    EXPECT_TRUE(handler.repeated());
    EXPECT_FALSE(mController.booting()) << "the repeat did not reboot again";

    std::vector<std::string> ops;
    for (const auto &record : records) ops.push_back(record.op);
    EXPECT_EQ(ops, (std::vector<std::string>{"SendData", "SaveToFile", "GetPlayInfo", "Reset", "GetPlayInfo"}));
    using C = hxsim::Controller::Change;
    EXPECT_EQ(std::count(changes.begin(), changes.end(), C::Booting), 2) << "one reboot: start and end";
}

TEST_F(Handler, ALateCopyOfAnyRecentRequestIsAnsweredFromMemoryNotRunAgain)
{
    const Bytes first = request(Command::SendData, {0, 0, 0, 0, 'a', 'b'}, 1, 10);
    ASSERT_EQ(status(first), Status::Ok);
    ASSERT_EQ(status(request(Command::SendData, {2, 0, 0, 0, 'c', 'd'}, 1, 11)), Status::Ok);
    // A reordering link delivers a spare copy of the first block after the
    // second: run again, it would start the upload afresh.
    EXPECT_EQ(status(first), Status::Ok);
    EXPECT_TRUE(handler.repeated());
    ASSERT_EQ(status(request(Command::SaveToFile, withPath({4, 0, 0, 0, 0, 0, 0, 0, 2}, "R.TXT"), 1, 12)), Status::Ok);
    EXPECT_EQ(savedText("R.TXT"), "abcd");
    EXPECT_EQ(records.size(), 3u);
}

TEST_F(Handler, NumberedBlocksComeInAnyOrderAndTheSaveChecksGapsAndTheChecksum)
{
    const auto block = [&](uint32_t offset, const std::string &text, uint16_t sequence, uint8_t copy = 1) {
        Bytes payload{static_cast<uint8_t>(offset), 0, 0, 0};
        payload.insert(payload.end(), text.begin(), text.end());
        return numbered(Command::SendData, payload, sequence, copy);
    };
    const auto save = [&](uint32_t crc, uint16_t sequence) {
        Bytes head{6, 0, 0, 0, 0, 0, 0, 0};
        for (int shift = 0; shift < 32; shift += 8) head.push_back(static_cast<uint8_t>(crc >> shift));
        head.push_back(2);
        return numbered(Command::SaveToFile, withPath(head, "W.TXT"), sequence);
    };
    const std::string text = "abcdef";
    const uint32_t crc = hx::crc32({reinterpret_cast<const uint8_t *>(text.data()), text.size()});

    ASSERT_EQ(status(block(0, "ab", 20)), Status::Ok);
    EXPECT_EQ(lastCopy, 1);
    ASSERT_EQ(status(block(0, "ab", 20, 4)), Status::Ok);
    EXPECT_TRUE(handler.repeated());
    EXPECT_EQ(lastCopy, 4) << "the reply says which copy it answers";
    ASSERT_EQ(status(block(4, "ef", 21)), Status::Ok) << "a gap is filled later";
    ASSERT_EQ(status(block(2, "cd", 22)), Status::Ok);
    ASSERT_EQ(status(save(crc, 23)), Status::Ok);
    EXPECT_EQ(savedText("W.TXT"), text);

    ASSERT_EQ(status(block(0, "AB", 24)), Status::Ok);
    ASSERT_EQ(status(block(4, "EF", 25)), Status::Ok);
    EXPECT_EQ(status(save(crc, 26)), Status::SizeMismatch) << "a gap left";
    for (uint16_t sequence = 27; const auto &piece : {std::pair<uint32_t, std::string>{0, "ab"}, {2, "cX"}, {4, "ef"}})
        ASSERT_EQ(status(block(piece.first, piece.second, sequence++)), Status::Ok);
    EXPECT_EQ(status(save(crc, 30)), Status::SizeMismatch) << "bytes that are not the file";
    EXPECT_EQ(savedText("W.TXT"), text) << "nothing saved";
}

TEST_F(Handler, ANumberedCopyOlderThanEverythingRememberedIsIgnored)
{
    const auto ask = [&](uint16_t sequence) { return numbered(Command::GetPlayInfo, {}, sequence); };
    ASSERT_EQ(status(ask(1)), Status::Ok);
    const auto remembered = static_cast<uint16_t>(hxsim::RequestHandler::kRememberedRequests);
    ASSERT_EQ(status(ask(1 + remembered)), Status::Ok); // takes the first one's place
    ASSERT_EQ(status(ask(2 + remembered)), Status::Ok);
    EXPECT_FALSE(status(ask(1))) << "answered long ago: no reply, not run";
    EXPECT_EQ(records.size(), 3u);
}

TEST_F(Handler, AControllerOfTheFirstVersionOffersNothingAndDropsNumberedFrames)
{
    hxsim::ControllerOptions plain = options(dir.file("plain"));
    plain.frameVersion = hx::kVersion;
    hxsim::Controller old(plain);
    hxsim::RequestHandler oldHandler(old);
    uint8_t config[hx::kLedConfigSize];
    old.ledConfig(config);
    EXPECT_EQ(hx::readOffer(config).version, hx::kVersion);
    mController.ledConfig(config);
    EXPECT_EQ(hx::readOffer(config).version, hx::kVersionNumbered);
    EXPECT_EQ(hx::readOffer(config).window, hx::kMaxWindow);
    EXPECT_TRUE(oldHandler.handle(numbered(Command::GetPlayInfo, {}, 5)).empty());
    EXPECT_FALSE(oldHandler.handle(request(Command::GetPlayInfo, {}, 1, 5)).empty());
}

TEST_F(Handler, TheSenderMemoryIsBoundedAndForgetsWhoWasHeardLongestAgo)
{
    const auto senders = static_cast<uint64_t>(hxsim::RequestHandler::kRememberedSenders);
    const auto ask = [&](uint64_t peer) { return request(Command::GetPlayInfo, {}, 1, static_cast<uint16_t>(peer)); };
    for (uint64_t peer = 0; peer < senders; ++peer) ASSERT_EQ(status(ask(peer), peer), Status::Ok);
    ASSERT_EQ(status(ask(0), 0), Status::Ok); // heard again: now sender 1 is the oldest
    EXPECT_TRUE(handler.repeated());
    ASSERT_EQ(status(ask(senders), senders), Status::Ok); // one sender too many
    EXPECT_FALSE(handler.repeated());
    ASSERT_EQ(status(ask(0), 0), Status::Ok);
    EXPECT_TRUE(handler.repeated()) << "recently heard senders are kept";
    ASSERT_EQ(status(ask(1), 1), Status::Ok);
    EXPECT_FALSE(handler.repeated()) << "the oldest made room and its repeat runs again";
    EXPECT_EQ(records.size(), senders + 2);
}

TEST_F(Handler, LogsOperationsWithTheirArguments)
{
    Bytes show(20, 0);
    show[0] = 0x80; // Left 128
    show[8] = 0xFF; // Color 255
    show.insert(show.end(), {'h', 'i', 0xC4});
    ASSERT_EQ(status(request(Command::ShowString, show)), Status::Ok);
    ASSERT_EQ(status(request(Command::MakeFolder, withPath({1}, "Fon"), 1, 2)), Status::Ok);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(hxsim::toJsonLine(records[0]),
              "{\"op\":\"ShowString\",\"Left\":128,\"Top\":0,\"Width\":0,\"Height\":0,\"Color\":255,\"ASCFont\":0,"
              "\"HZFont\":0,\"XPos\":0,\"YPos\":0,\"text_hex\":\"6869c4\",\"ok\":true}");
    EXPECT_EQ(hxsim::toJsonLine(records[1]), "{\"op\":\"MD\",\"drive\":1,\"path\":\"Fon\",\"ok\":true}");
    ASSERT_TRUE(mController.lastShown());
    EXPECT_EQ(mController.lastShown()->text, "hi\xC4");
}

TEST_F(Handler, StateChangesReachTheHook)
{
    ASSERT_EQ(status(request(Command::TurnVga, {0})), Status::Ok);
    EXPECT_FALSE(mController.outputOn());
    ASSERT_EQ(status(request(Command::Reset, {0, 0, 2, 0}, 1, 2)), Status::Ok);
    EXPECT_EQ(mController.playIndex(), 2);
    EXPECT_EQ(status(request(Command::Reset, {5, 0, 0, 0}, 1, 3)), Status::BadRequest);
    ASSERT_EQ(status(request(Command::Reset, {1, 0, 0, 0}, 1, 4)), Status::Ok);
    EXPECT_TRUE(mController.booting());
    EXPECT_FALSE(status(request(Command::GetPlayInfo, {}, 1, 5))) << "silent while booting";
    mController.finishBoot();
    EXPECT_TRUE(mController.outputOn());
    EXPECT_EQ(status(request(Command::GetPlayInfo, {}, 1, 6)), Status::Ok);
    using C = hxsim::Controller::Change;
    EXPECT_EQ(changes, (std::vector<C>{C::Output, C::Playback, C::Booting, C::Booting}));
}

TEST_F(Handler, DownloadReadsOnlyInsideTheLoadedFile)
{
    std::filesystem::create_directories(dir.file("disk/C"));
    {
        std::ofstream out(dir.file("disk/C/N.TXT"), std::ios::binary);
        out << "0123456789";
    }
    ASSERT_EQ(status(request(Command::LoadFromFile, withPath({2}, "n.txt"))), Status::Ok);
    EXPECT_EQ(lastData, (Bytes{10, 0, 0, 0}));
    EXPECT_EQ(status(request(Command::ReceiveData, {8, 0, 0, 0, 2, 0}, 1, 2)), Status::Ok);
    EXPECT_EQ(lastData, (Bytes{'8', '9'}));
    EXPECT_EQ(status(request(Command::ReceiveData, {9, 0, 0, 0, 2, 0}, 1, 3)), Status::OutOfRange);
    EXPECT_EQ(status(request(Command::ReceiveData, {0xFF, 0xFF, 0xFF, 0xFF, 1, 0}, 1, 4)), Status::OutOfRange);
    EXPECT_EQ(status(request(Command::LoadFromFile, withPath({2}, "MISSING.TXT"), 1, 5)), Status::NotFound);
    EXPECT_EQ(status(request(Command::ReceiveData, {0, 0, 0, 0, 1, 0}, 1, 6)), Status::OutOfRange)
        << "a failed load leaves nothing to read";
}

} // namespace
