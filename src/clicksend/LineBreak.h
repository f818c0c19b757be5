// Breaking click-send text into the lines one display line holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lines of a text, split at CR LF, LF or CR. A line end at the very end of
// the text does not start another (empty) line.
std::vector<std::string> splitLines(std::string_view text);

// Breaks one line of ANSI-code-page bytes into display lines of at most
// `columns` single-byte columns. A byte of 0x81 or above followed by another
// byte is one double-byte character: it counts two columns and is never split.
// A line is broken after a space where one fits; a space that does not fit
// ends the line and is dropped with the spaces that follow it; a word longer
// than a line is broken at the column limit. An empty line gives one empty
// display line. `columns` 0 or below means no breaking (the display reports no
// line width, and one line per entry is more use than one column per entry).
std::vector<std::string> breakLine(std::string_view line, int columns);

// splitLines, then breakLine for each line.
std::vector<std::string> breakText(std::string_view text, int columns);
