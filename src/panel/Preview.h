// What the preview of a display draws: the display's panel with its watched
// file's text in its area, read, converted, laid out and lit as the watch
// and the controller do it; or why there is nothing to draw.
#pragma once

#include "init/FontLib.h"
#include "panel/LedPanel.h"
#include "settings/MySetupData.h"
#include "text/TextFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Why the display itself cannot be drawn (none selected, no panel size, no
// font stored), in the window's words, or "" when it can.
std::string previewDisplayProblem(const MySetupType *record);

// The watched file of a display as the watch reads it for the controller.
struct PreviewText {
    std::string path;                   // UTF-8
    std::optional<ControllerText> text;
    std::string problem;                // when there is no text: the reason and the file
};
PreviewText previewText(const MySetupType &record, int32_t language);

// A library as the controller will hold it, from the records renderLibrary
// drew with the cell made; nothing when they disagree, with error set.
std::optional<FontLibrary> libraryOfRecords(const FontLibResult &made, LibraryKind kind, bool rotated,
                                            int32_t language, std::vector<uint8_t> records, std::string *error);

// The display's whole panel (LEDWidth x LEDHeight) with text (controller
// bytes) drawn into the area Left, Top, Width, Height, the rest dark.
LedPanel previewPanel(const MySetupType &record, std::string_view text, const FontLibrary &ascii,
                      const FontLibrary &chinese);
