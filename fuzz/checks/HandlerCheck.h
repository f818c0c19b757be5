// hxsim's request handler fed a sequence of requests: well-formed frames built
// from the input (so the fuzzer reaches every command) mixed with raw bytes
// and exact repeats.
#pragma once

#include "Check.h"
#include "Controller.h"
#include "HxProtocol.h"
#include "RequestHandler.h"

#include <filesystem>
#include <vector>

namespace fuzzcheck {

// Bytes of data that a successful reply carries, by command.
inline std::size_t replyDataSize(uint8_t command, Bytes request)
{
    switch (static_cast<hx::Command>(command)) {
    case hx::Command::LoadFromFile: return 4;
    case hx::Command::GetNetConfig: return hx::kNetConfigSize;
    case hx::Command::GetLedConfig: return hx::kLedConfigSize;
    case hx::Command::GetPlayInfo: return hx::kPlayInfoSize;
    case hx::Command::ReceiveData: return request.size() >= 6 ? std::size_t{hx::getU16(request.data() + 4)} : 0;
    default: return 0;
    }
}

inline void checkRequestHandler(Bytes input)
{
    namespace fs = std::filesystem;
    const fs::path scratch = ScratchFolder::path() / "handler";
    const fs::path disk = scratch / "disk";
    fs::remove_all(scratch);
    fs::create_directories(disk);

    hxsim::ControllerOptions options;
    options.diskRoot = disk;
    options.type = input.empty() ? 0 : input[0] & 1;
    hxsim::Controller controller(options);
    const bool serial = !input.empty() && (input[0] & 2);
    hxsim::RequestHandler handler(controller, serial ? std::optional<uint16_t>(5) : std::nullopt);
    handler.setLogger([](const hxsim::RequestRecord &record) {
        const std::string line = hxsim::toJsonLine(record);
        FUZZ_CHECK(line.starts_with("{\"op\":\"") && line.ends_with("}") && line.find('\n') == std::string::npos);
    });

    InputReader in(input.empty() ? input : input.subspan(1));
    std::vector<uint8_t> previous;
    uint16_t sequence = 0;
    while (!in.empty()) {
        const uint8_t selector = in.u8();
        const std::size_t length = in.u16() % (hx::kMaxPayload + 2);
        const Bytes payload = in.take(length);
        const uint64_t peer = (selector >> 4) & 1;

        std::vector<uint8_t> request;
        uint8_t command = 0;
        if ((selector & 0xC0) == 0xC0 && !previous.empty()) {
            request = previous;  // a retry whose reply was lost
        } else if (selector & 0x80) {
            request.assign(payload.begin(), payload.end());  // whatever arrived
        } else {
            command = selector & 0x0F;
            const uint16_t device = serial && (selector & 0x20) ? 6 : 5;
            uint8_t frame[hx::kMaxFrame];
            const std::size_t size = hx::encodeFrame(frame, device, ++sequence, command, payload);
            if (size == 0) continue;
            request.assign(frame, frame + size);
        }

        const bool wasBooting = controller.booting();
        const auto reply = handler.handle(request, peer);
        const auto asked = hx::decodeFrame(request);
        if (wasBooting || !asked) FUZZ_CHECK(reply.empty());
        if (!reply.empty()) {
            FUZZ_CHECK(asked.has_value());
            const auto answer = hx::decodeFrame(reply);
            FUZZ_CHECK(answer.has_value());
            FUZZ_CHECK(answer->command == (asked->command | hx::kReplyFlag));
            FUZZ_CHECK(answer->device == asked->device && answer->sequence == asked->sequence);
            FUZZ_CHECK(!answer->payload.empty() && answer->payload[0] <= static_cast<uint8_t>(hx::Status::OutOfRange));
            const std::size_t data = answer->payload.size() - 1;
            if (answer->payload[0] == static_cast<uint8_t>(hx::Status::Ok))
                FUZZ_CHECK(data == replyDataSize(asked->command, asked->payload));
            else
                FUZZ_CHECK(data == 0);
            if (serial) FUZZ_CHECK(asked->device == 5);
        }
        previous = request;
        // The reboot ends before the next request unless the input keeps it going.
        if (controller.booting() && !(selector & 0x20)) controller.finishBoot();
    }

    // Nothing the controller did reaches past its disk folder.
    for (const auto &entry : fs::directory_iterator(scratch)) FUZZ_CHECK(entry.path() == disk);
    for (const auto &entry : fs::recursive_directory_iterator(disk))
        FUZZ_CHECK(!fs::is_symlink(entry.symlink_status()));
}

}  // namespace fuzzcheck
