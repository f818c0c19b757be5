// The click-send window: loads a text file, shows it broken into display lines,
// and shows the selected line at once on every click-send display.
#pragma once

#include "link/HX_Dll.h"
#include "settings/MySetupData.h"
#include "clicksend/ClickSend.h"
#include "transfer/Watch.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;
class QTimer;

class TFormClickSend : public QWidget {
    Q_OBJECT

public:
    // The main window hands in its store, its watch (whose jobs serve the
    // controllers, and which keeps each display's play-list location), the
    // controller table, the language number (the ANSI code page of the text)
    // and a way to close itself; all must outlive this window.
    TFormClickSend(FMySetup &store, Watch &watch, const HX_Dll &dll, int32_t language,
                   std::function<void()> closeMainWindow, QWidget *parent = nullptr);

    QListWidget *LEDList = nullptr;  // one ticked entry per click-send display
    QPushButton *BtnLoadFile = nullptr;
    QListWidget *TextList = nullptr;  // the broken lines; selecting one sends it
    QTimer *TimerShow = nullptr;      // 100 ms, single shot, started on every show

    // The list-filling part of the main window's TimerClickSendTimer: refills
    // LEDList from the store and ticks every entry; when entries were added and
    // fromTimer is set the window is shown, when none were added it is hidden.
    // Returns whether entries were added (the main window's mbClickSend).
    bool fillFromStore(bool fromTimer);

    // The record behind an entry of LEDList, or null.
    MySetupPtr GetPtrFromList(int index) const;

    // The lines of TextList as they are sent, in the ANSI code page.
    const std::vector<std::string> &lines() const { return mLines; }

    void TimerShowTimer();
    void BtnLoadFileClick();
    void TextListClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void FormClose();
    void setLines(std::vector<std::string> lines);
    std::vector<std::string> entries() const;
    void placeTextList();

    FMySetup &mData;
    Watch &mWatch;
    const HX_Dll &mDll;
    ClickSendLines mLineSender;
    int32_t mLanguage;
    std::function<void()> mCloseMainWindow;
    std::vector<std::string> mLines;
    int mASCPerLine = 0;  // of the first display, set when the window is shown
};
