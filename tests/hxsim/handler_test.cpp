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
        return static_cast<Status>(decoded->payload[0]);
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
