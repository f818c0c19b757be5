// The panel as a person sees it: every LED a round dot on black, red when lit
// and a faint dark red when not, all the same whole number of picture pixels
// wide and high, with no margin around the panel.
#pragma once

#include "panel/LedPanel.h"

#include <QImage>

inline constexpr int kPixelsPerLed = 6;

QImage panelPicture(const LedPanel &panel, int pixelsPerLed = kPixelsPerLed);

// Reads the LEDs back from the centres of the dots of such a picture.
LedPanel panelOfPicture(const QImage &picture, int pixelsPerLed = kPixelsPerLed);
