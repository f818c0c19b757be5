// hxsim's request handler fed a sequence of requests: well-formed frames built
// from the input (so the fuzzer reaches every command) mixed with raw bytes
// and exact repeats.
#pragma once

#include "Check.h"
#include "Controller.h"
#include "HxProtocol.h"
#include "RequestHandler.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
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

// Bytes of a file outside the disk that no reply may ever carry.
inline const std::string kOutsideSecret = "outside-the-disk:7f3a9c51e0";

// Names and contents of every entry below folder, links as their targets.
inline std::map<std::string, std::string> folderState(const std::filesystem::path &folder)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> state;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        std::string &value = state[fs::relative(entry.path(), folder).string()];
        if (entry.is_symlink()) {
            value = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            value.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else {
            value = "<folder>";
        }
    }
    return state;
}

// Links out of the disk on every drive, of every kind: to a file, to a
// folder, dangling, in the middle of a path and relative; the names are
// short so that inputs reach them ("pw", "out\f", "sub\up\secret").
// Windows makes links only with a privilege (Wine not at all): there the
// paths alone are kept inside the disk.
constexpr bool kLinksPlanted =
#ifdef _WIN32
    false;
#else
    true;
#endif

inline void plantLinksOut(const std::filesystem::path &disk, const std::filesystem::path &outside)
{
    namespace fs = std::filesystem;
    fs::create_directories(outside / "folder");
    std::ofstream(outside / "secret", std::ios::binary) << kOutsideSecret;
    std::ofstream(outside / "folder" / "f", std::ios::binary) << kOutsideSecret;
    if (!kLinksPlanted) return;
    for (const char *drive : {"A", "B", "C"}) {
        const fs::path root = disk / drive;
        fs::create_directories(root / "sub");
        fs::create_symlink(outside / "secret", root / "pw");
        fs::create_symlink(outside / "folder", root / "out");
        fs::create_symlink(outside / "none", root / "gone");
        fs::create_symlink(outside, root / "sub" / "up");
        fs::create_symlink("../../../outside", root / "sub" / "rel");
    }
}

inline bool holdsSecret(Bytes bytes)
{
    return std::search(bytes.begin(), bytes.end(), kOutsideSecret.begin(), kOutsideSecret.end()) != bytes.end();
}

inline void checkRequestHandler(Bytes input)
{
    namespace fs = std::filesystem;
    const fs::path scratch = ScratchFolder::path() / "handler";
    const fs::path disk = scratch / "disk";
    const fs::path outside = scratch / "outside";
    fs::remove_all(scratch);
    fs::create_directories(disk);

    hxsim::ControllerOptions options;
    options.diskRoot = disk;
    options.type = input.empty() ? 0 : input[0] & 1;
    hxsim::Controller controller(options);
    plantLinksOut(disk, outside);
    const auto outsideBefore = folderState(outside);
    bool secretSent = false;  // the input itself may carry the secret's bytes up
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
        secretSent = secretSent || holdsSecret(request);
        const auto reply = handler.handle(request, peer);
        if (!secretSent) FUZZ_CHECK(!holdsSecret(reply));
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

    // Nothing the controller did reaches past its disk folder: everything
    // outside is as it was, and the planted links are still the only ones.
    for (const auto &entry : fs::directory_iterator(scratch)) FUZZ_CHECK(entry.path() == disk || entry.path() == outside);
    FUZZ_CHECK(folderState(outside) == outsideBefore);
    for (const auto &entry : fs::recursive_directory_iterator(disk)) {
        if (!entry.is_symlink()) continue;
        const std::string name = entry.path().filename().string();
        FUZZ_CHECK(name == "pw" || name == "out" || name == "gone" || name == "up" || name == "rel");
    }
    for (const char *drive : {"A", "B", "C"})
        for (const char *link : {"pw", "out", "gone", "sub/up", "sub/rel"})
            FUZZ_CHECK(!kLinksPlanted || fs::is_symlink(fs::symlink_status(disk / drive / link)));
}

}  // namespace fuzzcheck
