#include "LineBreak.h"

#include <cstddef>

namespace {

std::size_t characterLength(std::string_view text, std::size_t at)
{
    return static_cast<unsigned char>(text[at]) >= 0x81 && at + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> breakLine(std::string_view line, int columns)
{
    if (columns <= 0 || line.empty()) return {std::string(line)};

    const auto limit = static_cast<std::size_t>(columns);
    std::vector<std::string> out;
    std::size_t start = 0;       // first byte of the line being built
    std::size_t width = 0;       // its width in columns
    std::size_t afterSpace = 0;  // end of its last space, 0 while it has none
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t length = characterLength(line, i);
        if (width + length <= limit) {
            width += length;
            i += length;
            if (line[i - 1] == ' ' && length == 1) afterSpace = i;
            continue;
        }
        if (line[i] == ' ') {
            out.emplace_back(line.substr(start, i - start));
            while (i < line.size() && line[i] == ' ') ++i;
            start = i;
            width = 0;
        } else if (afterSpace > start) {
            out.emplace_back(line.substr(start, afterSpace - start));
            start = afterSpace;
            width = i - afterSpace;  // the carried-over word; its bytes are its columns
        } else if (width > 0) {
            out.emplace_back(line.substr(start, i - start));
            start = i;
            width = 0;
        } else {
            // A double-byte character wider than the whole line stands alone.
            out.emplace_back(line.substr(i, length));
            i += length;
            start = i;
        }
        afterSpace = 0;
    }
    if (start < line.size()) out.emplace_back(line.substr(start));
    return out;
}

std::vector<std::string> breakText(std::string_view text, int columns)
{
    std::vector<std::string> out;
    for (const auto &line : splitLines(text)) {
        auto broken = breakLine(line, columns);
        out.insert(out.end(), broken.begin(), broken.end());
    }
    return out;
}
