// The click-send window's rules: which displays it serves, the block and text
// that show a line at once, and reading the text file it offers.
#pragma once

#include "HexalinkVRX7300.h"
#include "link/Connection.h"
#include "link/ControllerJobs.h"
#include "link/HX_Dll.h"
#include "settings/MySetupData.h"
#include "transfer/PlayList.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

static_assert(sizeof(TextOutInfo) == 20, "HX_ShowString takes a 20-byte block");

// The entry texts of the used displays that watch no file, in slot order.
std::vector<std::string> clickSendEntries(const FMySetup &store);

// The record an entry text names (GetPtrFromList), or null when there is none
// any more. A serial screen number of 1000 or more makes an entry that is read
// as a network address, finds nothing and is skipped.
MySetupPtr recordOfEntry(FMySetup &store, std::string_view entry);

// The block HX_ShowString takes for the record's area.
TextOutInfo textOutInfoFor(const MySetupType &record);

// A backquote, "R00000000", width and height as four digits each, then the line.
std::string showStringText(const MySetupType &record, std::string_view line);

// The pixel width of the text area that holds ASCPerLine single-byte
// characters of the window's 6-pixel-wide font.
int textAreaWidth(uint16_t ascPerLine);

// Prepares the display of every entry, each in a job of its own beside the
// watch's visits (jobs keeps one job per controller): when the display takes
// its area from the list its controller plays, that list is downloaded (a
// display whose list cannot be read is passed over, its program untouched);
// the click-send play list is written (the area showing C:\NULL.TXT) and
// uploaded to drive 0 where that list lives (a fresh one to the top level),
// then played from the start. Where a list was read is kept in playLists
// when the job is collected. A display that cannot be reached is passed over.
void prepareDisplays(ControllerJobs &jobs, const HX_Dll &dll, FMySetup &store, PlayListLocations &playLists,
                     const std::vector<std::string> &entries, const SleepFn &sleep = sleepMilliseconds);

// Shows lines on the displays of the entries, each display in a job of its
// own, so a silent one delays no other. A line still waiting for a busy
// display is replaced by a newer one rather than queued behind it.
class ClickSendLines {
public:
    void show(ControllerJobs &jobs, const HX_Dll &dll, FMySetup &store,
              const std::vector<std::string> &entries, std::string_view line);

private:
    struct Waiting {
        std::mutex mutex;
        std::map<int, std::string> lines;  // by slot
    };
    std::shared_ptr<Waiting> mWaiting = std::make_shared<Waiting>();
};

// A text file read for click-send: its lines in the ANSI code page, broken to
// the display line width, or the reason it could not be read.
struct ClickSendText {
    bool ok = false;
    std::string error;               // names the file and the cause
    std::vector<std::string> lines;  // ANSI bytes, as sent to the controller
    std::string replaced;            // which characters became stand-ins, "" when none
};

// The most a line can hold and still reach the controller behind the
// "`R" prefix (18 bytes): a display that never had its ASCPerLine set
// breaks there instead of sending lines the library refuses.
inline constexpr int MaxShownColumns = HX_MAX_TEXT - 18;

// The lines of a text file's content: read by the encoding rule of
// toControllerText (UTF-8 and UTF-16 converted, characters the controller
// cannot show replaced), NUL bytes dropped, since the text HX_ShowString takes
// ends at the first one, and broken to ascPerLine columns (MaxShownColumns
// when ascPerLine is 0).
ClickSendText clickSendText(std::string_view fileBytes, int32_t language, int ascPerLine);

// Reads path (a native UTF-8 path), then clickSendText.
ClickSendText loadClickSendText(const std::string &path, int32_t language, int ascPerLine);
