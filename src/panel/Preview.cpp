#include "panel/Preview.h"

#include "text/MyString.h"
#include "transfer/TransferStatus.h"

#include <utility>

std::string previewDisplayProblem(const MySetupType *record)
{
    if (!record) return "请先在显示屏列表中选择显示屏";
    if (record->LEDWidth == 0 || record->LEDHeight == 0) return "显示屏大小未知, 请先在连接设置中连接显示屏";
    if (shortString(record->FontName).empty()) return "显示屏没有字体, 请先初始化显示屏";
    return {};
}

PreviewText previewText(const MySetupType &record, int32_t language)
{
    PreviewText result;
    if (!record.bFromFile) {
        result.problem = "显示屏不自动读文件";
        return result;
    }
    result.path = ansiToUtf8(shortString(record.FileName), language);
    // The status's words for what is wrong with the file, as the tray shows them.
    if (const VisitOutcome problem = watchedFileProblem(result.path); problem != VisitOutcome::Delivered) {
        result.problem = outcomeText(problem) + (result.path.empty() ? "" : "：" + result.path);
        return result;
    }
    std::string error;
    result.text = readForController(result.path, language, &error);
    if (!result.text) result.problem = outcomeText(VisitOutcome::FileUnreadable) + "：" + error;
    return result;
}

std::optional<FontLibrary> libraryOfRecords(const FontLibResult &made, LibraryKind kind, bool rotated,
                                            int32_t language, std::vector<uint8_t> records, std::string *error)
{
    const LibraryLayout &layout = libraryLayout(kind, language);
    const FontDescriptor descriptor{std::string("Fon\\") + layout.fileName, layout.ChCount(), layout.TypeCh,
                                    made.cellWidth, made.cellHeight, layout.Start1V, layout.Start2V};
    return FontLibrary::fromBytes(descriptor, std::move(records), rotated && kind == LibraryKind::Chinese, error);
}

LedPanel previewPanel(const MySetupType &record, std::string_view text, const FontLibrary &ascii,
                      const FontLibrary &chinese)
{
    LedPanel panel(record.LEDWidth, record.LEDHeight);
    drawText(panel, PanelArea{record.Left, record.Top, record.Width, record.Height}, text, ascii, chinese);
    return panel;
}
