// The panel as a person sees it: every LED a round dot on black, red when lit
// and a faint dark red when not, all the same whole number of picture pixels
// wide and high, with no margin around the panel.
#pragma once

#include "Panel.h"

#include <QImage>
#include <QString>

namespace hxsim {

inline constexpr int kPixelsPerLed = 6;

QImage panelPicture(const LedPanel &panel, int pixelsPerLed = kPixelsPerLed);

// Replaces path with the picture as a PNG in one step (temporary file, then
// rename), so a reader never sees half a file. On failure error says why.
bool writePanelPng(const QImage &picture, const QString &path, QString *error);

// Reads the LEDs back from the centres of the dots of such a picture.
LedPanel panelOfPicture(const QImage &picture, int pixelsPerLed = kPixelsPerLed);

} // namespace hxsim
