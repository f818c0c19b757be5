// The rules behind the file page: watch periods, the controller disk list, and
// which disks a display's text file and play list go to.
#pragma once

#include "settings/MySetupData.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The 25 items of nPeroid (UTF-8), from "10 秒" to "1 小时".
const std::array<std::string, 25> &periodItems();

// The period in seconds an item text stands for: "" -> 10, " 5 分" -> 300,
// "10 秒" -> 10, "1 小时" -> 3600.
uint16_t periodOfItem(std::string_view item);

// The item to select for a stored period, or none when no item matches (90).
std::optional<std::string> periodItemFor(uint16_t peroid);

// The cbDrv items for a controller type: "A:", "B:", "C:" or, for Hexalink, "B:", "C:".
std::vector<std::string> driveItems(uint16_t nLEDSystem);

// The cbDrv index a record stands for. A Hexalink record still holding the new
// record's 2 (which that list has no item for) means its last disk, C:, as does
// any index beyond the list.
uint8_t driveIndexOf(const MySetupType &record);

// The watched file's name as the record holds it (ANSI bytes), or nothing when
// the record cannot hold it: longer than 250 bytes, or with characters the code
// page lacks. A cut or changed name would watch another file.
std::optional<std::string> recordFileName(const std::string &utf8Path, int32_t language);

// Where a display's files go on its controller.
struct ControllerDisks {
    int32_t textDisk;      // 0 A:, 1 B:, 2 C:
    char textLetter;       // the same disk as a letter, for the play-list item
    int32_t playListDisk;  // the controller type's first disk
};
ControllerDisks controllerDisks(const MySetupType &record);
