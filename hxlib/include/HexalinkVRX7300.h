/*
 * libHexalinkVRX7300: the display controller communication library.
 *
 * Seventeen functions with C linkage, exported by name. A device number is
 * the number the caller chose when it opened the connection with
 * HX_NetInitial or HX_ComInitial; every later call names the connection by it.
 * Truth values are 32-bit: 0 means false or failure, any other value true
 * (callers pass true as -1). The two open calls return 0 on success.
 * Drives: 0 = A:, 1 = B:, 2 = C:. Controller paths separate folders with "\"
 * and carry no drive letter.
 */
#ifndef HEXALINK_VRX7300_H
#define HEXALINK_VRX7300_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(HXLIB_BUILDING)
#    define HX_API __declspec(dllexport)
#  else
#    define HX_API __declspec(dllimport)
#  endif
#  define HX_CALL __cdecl
#else
#  define HX_API __attribute__((visibility("default")))
#  define HX_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The block HX_ShowString takes: 20 bytes, little-endian, no padding. */
typedef struct TextOutInfo {
    uint16_t Left;    /* 4096 - Width + Left of the area */
    uint16_t Top;
    uint16_t Width;
    uint16_t Height;
    uint32_t Color;
    uint16_t ASCFont;
    uint16_t HZFont;
    uint16_t XPos;
    uint16_t YPos;
} TextOutInfo;

#define HX_NETCONFIG_SIZE 512
#define HX_LEDCONFIG_SIZE 208
#define HX_PLAYINFO_SIZE 10
#define HX_MAX_BLOCK 1024
/* The longest text HX_ShowString takes, in bytes. */
#define HX_MAX_TEXT 1024
/* The largest file a controller stores. */
#define HX_MAX_FILE_SIZE (32u << 20)

/* Opens UDP to ip ("%3d.%3d.%3d.%3d", blanks allowed) and port. text is unused. */
HX_API int32_t HX_CALL HX_NetInitial(uint16_t device, const char *text, const char *ip,
                                     int32_t timeoutSeconds, int32_t retries, uint16_t udpPort,
                                     int32_t isVrx7300);
/* Opens serial port COM<comNumber> at baudRate, addressing screenNumber on the line. */
HX_API int32_t HX_CALL HX_ComInitial(uint16_t device, int32_t comNumber, int32_t baudRate,
                                     int32_t screenNumber, int32_t timeoutSeconds, int32_t retries,
                                     int32_t isVrx7300);
HX_API void HX_CALL HX_Close(uint16_t device);
/* value: 1 reboots the controller, 0 restarts playing, index << 16 plays that list. */
HX_API int32_t HX_CALL HX_Reset(uint16_t device, int32_t value);
HX_API int32_t HX_CALL HX_TurnVGA(uint16_t device, int32_t on);
HX_API int32_t HX_CALL HX_ShowString(uint16_t device, const TextOutInfo *info, const char *text);
HX_API int32_t HX_CALL HX_SendData(uint16_t device, int32_t offset, int32_t length,
                                   const uint8_t *bytes);
HX_API int32_t HX_CALL HX_SaveToFile(uint16_t device, int32_t drive, const char *path,
                                     int32_t size, int32_t time, int32_t date);
/* Size of the file made ready for reading; 0 or 0xFFFFFFFF on failure. */
HX_API uint32_t HX_CALL HX_LoadFromFile(uint16_t device, int32_t drive, const char *path);
HX_API int32_t HX_CALL HX_ReceiveData(uint16_t device, int32_t offset, int32_t length,
                                      uint8_t *buffer);
HX_API int32_t HX_CALL HX_MD(uint16_t device, int32_t drive, const char *folder);
HX_API int32_t HX_CALL HX_RemoveFile(uint16_t device, int32_t drive, const char *path);
/* buffer: 512 bytes; bytes 0..15 hold the zero-ended controller name. */
HX_API int32_t HX_CALL HX_GetNetConfig(uint16_t device, uint8_t *buffer);
/* config: 208 bytes; LedWidth at offset 92, LedHeight at 94 (uint16 LE). */
HX_API int32_t HX_CALL HX_GetLEDConfig(uint16_t device, void *config);
/* buffer: 10 bytes; byte 0 the play-list drive, byte 1 the current play-list index. */
HX_API int32_t HX_CALL HX_GetPlayInfo(uint16_t device, uint8_t *buffer);
/* DOS date and time words of a local file's last write, in local time. */
HX_API int32_t HX_CALL HX_GetFileDateTime(const char *localPath, uint16_t *date, uint16_t *time);
/* One step of the reflected CRC-16 with polynomial 0xA001. */
HX_API uint16_t HX_CALL HX_NewCRC(uint16_t value, uint8_t byte);

#ifdef __cplusplus
}
#endif

#endif
