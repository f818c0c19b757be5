// What the library keeps per open device number: the connection, the
// upload and download carried over its window, and the lock that keeps one
// caller at a time on it.
#pragma once

#include "Connection.h"
#include "ReadAhead.h"
#include "Upload.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace hxlib {

class Device {
public:
    Device(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds, int retries,
           NowFunction now = &Clock::now)
        : mConnection(std::move(transport), lineAddress, timeoutSeconds, retries, now), mUpload(mConnection),
          mDownload(mConnection)
    {
    }

    // Asks the controller to answer before the device number counts as
    // open: its LED configuration, answered in every state of playback,
    // which also tells what it offers beyond one plain request at a time.
    bool open();

    // Any request but the blocks of a transfer: the blocks on their way
    // are waited for (an upload) or forgotten (a download) first.
    std::optional<std::span<const uint8_t>> requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                      std::optional<std::size_t> dataSize);

    Upload &upload()
    {
        mDownload.drop();
        return mUpload;
    }
    ReadAhead &download()
    {
        mUpload.settle();
        return mDownload;
    }
    Connection &connection() { return mConnection; }
    // Serialises calls from several threads on one device number.
    std::mutex &mutex() { return mMutex; }

private:
    Connection mConnection;
    Upload mUpload;
    ReadAhead mDownload;
    std::mutex mMutex;
};

} // namespace hxlib
