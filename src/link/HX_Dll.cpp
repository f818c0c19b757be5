#include "HX_Dll.h"

const HX_Dll &hxTable()
{
    static const HX_Dll table{
        ::HX_NetInitial, ::HX_ComInitial, ::HX_Close,        ::HX_Reset,        ::HX_TurnVGA,
        ::HX_ShowString, ::HX_SendData,   ::HX_SaveToFile,   ::HX_LoadFromFile, ::HX_ReceiveData,
        ::HX_MD,         ::HX_RemoveFile, ::HX_GetNetConfig, ::HX_GetLEDConfig, ::HX_GetPlayInfo,
        ::HX_GetFileDateTime, ::HX_NewCRC,
    };
    return table;
}
