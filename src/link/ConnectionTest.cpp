#include "ConnectionTest.h"

#include "MySetupData.h"

#include <cstring>

ConnectionReport testConnection(const HX_Dll &link, const ConnectionParams &params)
{
    const bool network = params.mode == 0;
    const uint16_t device = network ? static_cast<uint16_t>(FMySetup::IPStrToLong(params.ipText) & 0xFFFF)
                                    : params.ledNum;
    const int32_t isVrx = params.vrx7300 ? -1 : 0;
    const int32_t opened =
        network ? link.NetInitial(device, "", params.ipText.c_str(), params.timeout, params.retries,
                                  params.udpPort, isVrx)
                : link.ComInitial(device, params.comNumber, params.baudRate, params.ledNum,
                                  params.timeout, params.retries, isVrx);
    ConnectionReport report;
    uint8_t netConfig[HX_NETCONFIG_SIZE] = {};
    LEDConfigType ledConfig{};
    report.ok = opened == 0 && link.GetNetConfig(device, netConfig) != 0 &&
                link.GetLEDConfig(device, &ledConfig) != 0;
    link.Close(device);  // also after a failed open
    if (!report.ok) return report;
    report.name.assign(reinterpret_cast<const char *>(netConfig),
                       strnlen(reinterpret_cast<const char *>(netConfig), 16));
    report.width = ledConfig.LedWidth;
    report.height = ledConfig.LedHeight;
    return report;
}

ControllerKey connectionKeyOf(const ConnectionParams &params)
{
    MySetupType record{};
    record.nMode = params.mode;
    record.Addr = params.mode == 0 ? FMySetup::IPStrToLong(params.ipText) : params.ledNum;
    record.Port = params.mode == 0 ? params.udpPort : static_cast<uint16_t>(params.comNumber);
    return controllerKeyOf(record);
}
