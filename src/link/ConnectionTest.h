// The connection page's test: open with the values on screen, ask the
// controller for its name and panel size, close whatever happened.
#pragma once

#include "HX_Dll.h"
#include "link/ControllerJobs.h"

#include <cstdint>
#include <string>

struct ConnectionParams {
    uint16_t mode = 0;       // 0 network, 1 serial
    std::string ipText;      // the address text as typed (network)
    uint16_t udpPort = 0;
    uint16_t ledNum = 0;     // screen number (serial)
    int32_t comNumber = 1;
    int32_t baudRate = 0;
    int32_t timeout = 2;
    int32_t retries = 2;
    bool vrx7300 = true;     // controller type 0
};

struct ConnectionReport {
    bool ok = false;
    std::string name;        // up to 16 bytes, as the controller sent them
    uint16_t width = 0;
    uint16_t height = 0;
};

ConnectionReport testConnection(const HX_Dll &link, const ConnectionParams &params);

// The controller the test talks to, as the watch's jobs know controllers.
ControllerKey connectionKeyOf(const ConnectionParams &params);
