#include "RequestHandler.h"

#include <algorithm>
#include <cstdio>

using hx::Command;
using hx::Status;

namespace hxsim {

namespace {

std::string jsonString(std::span<const uint8_t> bytes)
{
    std::string out = "\"";
    for (uint8_t byte : bytes) {
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte >= 0x7F) {
            // Controller paths are ANSI code-page bytes, not UTF-8; escaping
            // everything outside ASCII keeps the log valid JSON.
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out + "\"";
}

std::string jsonHex(std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (uint8_t byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    }
    return out + "\"";
}

} // namespace

const char *operationName(Command command)
{
    switch (command) {
    case Command::Reset: return "Reset";
    case Command::TurnVga: return "TurnVGA";
    case Command::ShowString: return "ShowString";
    case Command::SendData: return "SendData";
    case Command::SaveToFile: return "SaveToFile";
    case Command::LoadFromFile: return "LoadFromFile";
    case Command::ReceiveData: return "ReceiveData";
    case Command::MakeFolder: return "MD";
    case Command::RemoveFile: return "RemoveFile";
    case Command::GetNetConfig: return "GetNetConfig";
    case Command::GetLedConfig: return "GetLEDConfig";
    case Command::GetPlayInfo: return "GetPlayInfo";
    }
    return nullptr;
}

namespace {

void addNumber(RequestRecord &record, const char *name, uint64_t value)
{
    record.args.emplace_back(name, std::to_string(value));
}

} // namespace

std::string toJsonLine(const RequestRecord &record)
{
    std::string line = "{\"op\":" + jsonString({reinterpret_cast<const uint8_t *>(record.op.data()), record.op.size()});
    for (const auto &[name, value] : record.args) line += ",\"" + name + "\":" + value;
    line += record.ok ? ",\"ok\":true}" : ",\"ok\":false}";
    return line;
}

RequestHandler::RequestHandler(Controller &controller, std::optional<uint16_t> lineAddress)
    : mController(controller), mLineAddress(lineAddress)
{
    mSenders.reserve(kRememberedSenders);
}

RequestHandler::Sender *RequestHandler::find(uint64_t peer)
{
    // Traffic comes in runs from one sender: look where the last one was first.
    if (mLastSender < mSenders.size() && mSenders[mLastSender].peer == peer) return &mSenders[mLastSender];
    for (std::size_t i = 0; i < mSenders.size(); ++i)
        if (mSenders[i].peer == peer) {
            mLastSender = i;
            return &mSenders[i];
        }
    return nullptr;
}

RequestHandler::Sender &RequestHandler::slotFor(uint64_t peer)
{
    if (Sender *known = find(peer)) return *known;
    if (mSenders.size() < kRememberedSenders) {
        mSenders.emplace_back();
        mLastSender = mSenders.size() - 1;
    } else {
        const auto oldest = std::min_element(mSenders.begin(), mSenders.end(), [](const Sender &a, const Sender &b) {
            return a.lastHeard < b.lastHeard;
        });
        mLastSender = static_cast<std::size_t>(oldest - mSenders.begin());
    }
    Sender &slot = mSenders[mLastSender];
    slot.peer = peer;
    slot.newestNumbered.reset();
    slot.requests.resize(kRememberedRequests);
    for (Remembered &request : slot.requests) request.used = false;
    return slot;
}

bool RequestHandler::Remembered::holds(const hx::Frame &frame, uint32_t crc) const
{
    return used && version == frame.version && command == frame.command && device == frame.device &&
           sequence == frame.sequence && payloadSize == frame.payload.size() && payloadCrc == crc;
}

void RequestHandler::Remembered::keep(const hx::Frame &frame, uint32_t crc, std::span<const uint8_t> answer)
{
    used = true;
    version = frame.version;
    command = frame.command;
    device = frame.device;
    sequence = frame.sequence;
    payloadSize = frame.payload.size();
    payloadCrc = crc;
    reply.assign(answer.begin(), answer.end());
}

std::span<const uint8_t> RequestHandler::handle(std::span<const uint8_t> request, uint64_t peer)
{
    mRepeated = false;
    if (mController.booting()) return {};
    const auto frame = hx::decodeFrame(request);
    if (!frame || (frame->command & hx::kReplyFlag) || !operationName(static_cast<Command>(frame->command))) return {};
    if (frame->version > mController.options().frameVersion) return {};
    if (mLineAddress && frame->device != *mLineAddress) return {};
    Sender &sender = slotFor(peer);
    sender.lastHeard = ++mClock;
    Remembered &memory = sender.requests[frame->sequence % kRememberedRequests];
    const uint32_t payloadCrc = hx::crc32(frame->payload);
    if (memory.holds(*frame, payloadCrc)) {
        // A copy whose reply was lost or is still on its way: the same
        // reply, saying which copy it answers, and nothing run again.
        mRepeated = true;
        hx::renumberFrame(memory.reply, frame->copy);
        return memory.reply;
    }
    if (frame->version == hx::kVersionNumbered) {
        // A copy older than everything remembered was answered long ago.
        const auto behind = static_cast<int16_t>(frame->sequence - sender.newestNumbered.value_or(frame->sequence));
        if (behind <= -static_cast<int>(kRememberedRequests)) return {};
        if (behind > 0 || !sender.newestNumbered) sender.newestNumbered = frame->sequence;
    } else {
        // A new connection on the line, or a library that numbers nothing.
        sender.newestNumbered.reset();
    }

    RequestRecord record;
    record.op = operationName(static_cast<Command>(frame->command));
    uint8_t dataBuffer[hx::kMaxPayload - 1];
    hx::PayloadWriter data(dataBuffer);
    const Status status = run(*frame, record, data);
    record.ok = status == Status::Ok;
    if (mLogger) mLogger(record);

    uint8_t payload[hx::kMaxPayload];
    hx::PayloadWriter reply(payload);
    reply.u8(static_cast<uint8_t>(status));
    if (record.ok) reply.bytes(data.written());
    uint8_t answer[hx::kMaxFrame];
    const std::size_t size = hx::encodeFrame(answer, {frame->device, frame->sequence,
                                                      static_cast<uint8_t>(frame->command | hx::kReplyFlag),
                                                      reply.written(), frame->version, frame->copy});
    memory.keep(*frame, payloadCrc, {answer, size});
    return memory.reply;
}

Status RequestHandler::run(const hx::Frame &frame, RequestRecord &record, hx::PayloadWriter &data)
{
    hx::PayloadReader in(frame.payload);
    // Reads the drive and the rest as a path; records both. The controller
    // judges the path (an empty or too long one is BadPath).
    const auto drivePath = [&](uint8_t &drive, std::span<const uint8_t> &path) {
        if (!in.u8(drive)) return false;
        path = in.rest();
        addNumber(record, "drive", drive);
        record.args.emplace_back("path", jsonString(path));
        return true;
    };
    uint8_t drive = 0;
    std::span<const uint8_t> path;

    switch (static_cast<Command>(frame.command)) {
    case Command::Reset: {
        uint32_t value = 0;
        if (!in.u32(value) || !in.atEnd()) return Status::BadRequest;
        addNumber(record, "value", value);
        return mController.reset(value);
    }
    case Command::TurnVga: {
        uint8_t on = 0;
        if (!in.u8(on) || !in.atEnd()) return Status::BadRequest;
        record.args.emplace_back("on", on ? "true" : "false");
        return mController.turnOutput(on != 0);
    }
    case Command::ShowString: {
        std::span<const uint8_t> info;
        if (!in.bytes(hx::kTextInfoSize, info)) return Status::BadRequest;
        const auto text = in.rest();
        hx::PayloadReader fields(info);
        uint16_t value16 = 0;
        uint32_t color = 0;
        for (const char *name : {"Left", "Top", "Width", "Height"}) {
            fields.u16(value16);
            addNumber(record, name, value16);
        }
        fields.u32(color);
        addNumber(record, "Color", color);
        for (const char *name : {"ASCFont", "HZFont", "XPos", "YPos"}) {
            fields.u16(value16);
            addNumber(record, name, value16);
        }
        record.args.emplace_back("text_hex", jsonHex(text));
        return mController.showString(info, text);
    }
    case Command::SendData: {
        uint32_t offset = 0;
        if (!in.u32(offset)) return Status::BadRequest;
        const auto bytes = in.rest();
        addNumber(record, "offset", offset);
        addNumber(record, "len", bytes.size());
        // Version 2 blocks come from a window: in any order.
        return mController.storeBlock(offset, bytes, frame.version == hx::kVersionNumbered);
    }
    case Command::SaveToFile: {
        uint32_t size = 0, crc = 0;
        uint16_t time = 0, date = 0;
        if (!in.u32(size) || !in.u16(time) || !in.u16(date)) return Status::BadRequest;
        addNumber(record, "size", size);
        // Version 2: the whole file's CRC-32 follows.
        const bool checked = frame.version == hx::kVersionNumbered;
        if (checked && !in.u32(crc)) return Status::BadRequest;
        if (checked) addNumber(record, "crc", crc);
        if (!drivePath(drive, path)) return Status::BadRequest;
        return mController.saveFile(drive, path, size, time, date,
                                    checked ? std::optional<uint32_t>(crc) : std::nullopt);
    }
    case Command::LoadFromFile: {
        if (!drivePath(drive, path)) return Status::BadRequest;
        uint32_t size = 0;
        const Status status = mController.loadFile(drive, path, size);
        if (status == Status::Ok) {
            addNumber(record, "size", size);
            data.u32(size);
        }
        return status;
    }
    case Command::ReceiveData: {
        uint32_t offset = 0;
        uint16_t length = 0;
        if (!in.u32(offset) || !in.u16(length) || !in.atEnd()) return Status::BadRequest;
        addNumber(record, "offset", offset);
        addNumber(record, "len", length);
        std::span<const uint8_t> bytes;
        const Status status = mController.readBlock(offset, length, bytes);
        if (status == Status::Ok) data.bytes(bytes);
        return status;
    }
    case Command::MakeFolder:
        if (!drivePath(drive, path)) return Status::BadRequest;
        return mController.makeFolder(drive, path);
    case Command::RemoveFile:
        if (!drivePath(drive, path)) return Status::BadRequest;
        return mController.removeFile(drive, path);
    case Command::GetNetConfig: {
        uint8_t block[hx::kNetConfigSize];
        mController.netConfig(block);
        data.bytes(block);
        return Status::Ok;
    }
    case Command::GetLedConfig: {
        uint8_t block[hx::kLedConfigSize];
        mController.ledConfig(block);
        data.bytes(block);
        return Status::Ok;
    }
    case Command::GetPlayInfo: {
        uint8_t block[hx::kPlayInfoSize];
        mController.playInfo(block);
        data.bytes(block);
        return Status::Ok;
    }
    }
    return Status::BadRequest;
}

} // namespace hxsim
