// The font libraries as the main window asks for them: from the font chosen in
// the font dialog, drawn with Qt, into the program folder.
#pragma once

#include "init/FontLib.h"
#include "settings/MySetupData.h"

#include <QFont>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The chosen font with its point size turned into pixels at the screen's
// logical density (96 dpi without a screen); a font sized in pixels stays.
QFont renderingFont(const QFont &chosen);

// The font a library is drawn with: the chosen one for the Chinese library;
// for the ASCII library plain "宋体" at the chosen size, whatever was chosen.
QFont libraryFont(const QFont &chosen, LibraryKind kind);

// WriteLibFile: writes "MyHZ.Fon" (chinese) or "MyASC.Fon" into progPath and
// returns its descriptor and cell. mBmp is left at the cell size holding the
// last glyph drawn. afterGlyph runs once per glyph (progress step, pending events).
FontLibResult writeFontLibrary(const QFont &chosenFont, bool chinese, bool rotate90, int32_t language,
                               const std::string &progPath, QImage &mBmp,
                               const std::function<void()> &afterGlyph);

// The library writeFontLibrary would write, drawn into bytes instead.
FontLibResult renderFontLibrary(const QFont &chosenFont, bool chinese, bool rotate90, int32_t language,
                                std::vector<uint8_t> &bytes);

// The font dialog's font for a stored display: the window's font with the
// record's face and point size (12 when none is stored); style and character
// set are not stored, so they stay the window font's.
QFont recordFont(const QFont &windowFont, const MySetupType &record, int32_t language);

// Why the chosen font cannot make both libraries (cell size and limit named),
// or "" when it can. Measures only; nothing is drawn or written.
std::string checkFontLibraries(const QFont &chosenFont, int32_t language);

// The "%dx%d" of MsgFntSize: the cell of 啊 in the chosen font, a height one
// more than the width taken as square. Same sample whatever the language.
QSize measureChineseSample(const QFont &chosenFont);

// GetFont on mBmp: packs its content into Buf as one glyph record; the number
// of bytes written, or 0 when Buf cannot hold the record.
int packGlyph(const QImage &mBmp, bool b90, std::span<uint8_t> Buf);
