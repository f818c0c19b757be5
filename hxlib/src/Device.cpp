#include "Device.h"

namespace hxlib {

bool Device::open()
{
    const auto config = mConnection.requestOk(hx::Command::GetLedConfig, {}, hx::kLedConfigSize);
    if (!config) return false;
    mConnection.accept(hx::readOffer(*config));
    return true;
}

std::optional<std::span<const uint8_t>> Device::requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                          std::optional<std::size_t> dataSize)
{
    mUpload.settle();
    mDownload.drop();
    return mConnection.requestOk(command, payload, dataSize);
}

} // namespace hxlib
