#include "Password.h"

uint16_t PwdToCRC(const HX_Dll &link, std::string_view ansiBytes)
{
    uint16_t value = 0;
    for (char byte : ansiBytes) value = link.NewCRC(value, static_cast<uint8_t>(byte));
    return value;
}
