// The controller library as the program sees it: a table of its 17 functions,
// and the connection and file-transfer operations built on them.
#pragma once

#include "HexalinkVRX7300.h"

#include <cstdint>
#include <functional>
#include <string>

// The program calls the controller only through this table. hxTable() fills it
// from libHexalinkVRX7300; tests fill it with a recording fake.
struct HX_Dll {
    decltype(&::HX_NetInitial) NetInitial = nullptr;
    decltype(&::HX_ComInitial) ComInitial = nullptr;
    decltype(&::HX_Close) Close = nullptr;
    decltype(&::HX_Reset) Reset = nullptr;
    decltype(&::HX_TurnVGA) TurnVGA = nullptr;
    decltype(&::HX_ShowString) ShowString = nullptr;
    decltype(&::HX_SendData) SendData = nullptr;
    decltype(&::HX_SaveToFile) SaveToFile = nullptr;
    decltype(&::HX_LoadFromFile) LoadFromFile = nullptr;
    decltype(&::HX_ReceiveData) ReceiveData = nullptr;
    decltype(&::HX_MD) MD = nullptr;
    decltype(&::HX_RemoveFile) RemoveFile = nullptr;
    decltype(&::HX_GetNetConfig) GetNetConfig = nullptr;
    decltype(&::HX_GetLEDConfig) GetLEDConfig = nullptr;
    decltype(&::HX_GetPlayInfo) GetPlayInfo = nullptr;
    decltype(&::HX_GetFileDateTime) GetFileDateTime = nullptr;
    decltype(&::HX_NewCRC) NewCRC = nullptr;
};

// The table of the real library.
const HX_Dll &hxTable();
