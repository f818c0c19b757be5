// The preview window: what the selected display will show, drawn LED by LED
// as its controller lights them, following the watched file while open.
#pragma once

#include "init/FontLib.h"
#include "panel/LedPanel.h"
#include "settings/MySetupData.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QScrollArea;
class QTimer;

class TFormPreview : public QWidget {
    Q_OBJECT

public:
    // The display to draw, looked up again at every refresh (null: none).
    using DisplaySource = std::function<const MySetupType *()>;

    // windowFont is the main window's font, from which a record's font is
    // made as the initialisation page makes it; language selects the code
    // page and the Chinese library's coding.
    TFormPreview(DisplaySource display, int32_t language, const QFont &windowFont, QWidget *parent = nullptr);

    QLabel *MsgInfo = nullptr;   // the file, its encoding, the characters replaced
    QLabel *ImgPanel = nullptr;  // the panel picture, or why there is none
    QTimer *TimerFollow = nullptr;  // 1 s while shown: looks at display and file again

    // Shows the window in front, drawn afresh.
    void open();
    // Draws again when the display's settings or its file changed.
    void refresh();

    // The panel as drawn, null while a message stands instead.
    const QImage &picture() const { return mPicture; }
    QString message() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Fonts {
        FontLibrary ascii;
        FontLibrary chinese;
    };
    // The libraries of the display's font, drawn again only when it changes.
    const Fonts *fontsFor(const MySetupType &record, std::string &problem);
    std::string sourceKey(const MySetupType *record) const;
    void showMessage(const QString &text);
    void showPanel(const LedPanel &panel);

    DisplaySource mDisplay;
    int32_t mLanguage;
    QFont mWindowFont;
    QScrollArea *mScroll = nullptr;
    std::string mShownKey;
    bool mDrawn = false;
    QImage mPicture;
    std::optional<LedPanel> mPanel;
    bool mFontsMade = false;
    QFont mFontsMadeFor;
    bool mFontsRotated = false;
    std::optional<Fonts> mFonts;
    std::string mFontProblem;
};
