// marqora-bench fontlib [--big5] [--size PX] [--runs N]
// Times the generation of both font libraries with the program's Qt renderer
// and the same glyphs rendered by FreeType directly, the floor any renderer
// built on FreeType can reach. Linux only (fork, the Debian font path).
#include "Bench.h"

#include "init/QtFontLib.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char *kUmingFile = "/usr/share/fonts/truetype/arphic/uming.ttc";
constexpr const char *kUmingFamily = "AR PL UMing CN";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
    bool big5 = false;
    int pixels = 16;
    int runs = 3;  // the best run counts: the machine may be busy with other work
};

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--big5") == 0) {
            options.big5 = true;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            char *end = nullptr;
            const long pixels = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || pixels < 4 || pixels > 256) return false;
            options.pixels = int(pixels);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            char *end = nullptr;
            const long runs = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || runs < 1 || runs > 100) return false;
            options.runs = int(runs);
        } else {
            return false;
        }
    }
    return true;
}

struct Measured {
    std::size_t glyphs = 0;
    double seconds = 0;
};

Measured timeQt(const Options &options, int32_t language, const std::string &folder)
{
    QFont font(QString::fromLatin1(kUmingFamily));
    font.setPixelSize(options.pixels);
    // The program has its fonts loaded long before a library is made: open the
    // face at another size so that only the glyphs of this size start cold.
    QFont other = font;
    other.setPixelSize(options.pixels + 1);
    QFontMetrics(other).horizontalAdvance(QStringLiteral("W\u554A"));

    QImage bmp;
    Measured measured;
    const auto count = [&measured] { ++measured.glyphs; };
    const auto start = Clock::now();
    for (bool chinese : {false, true}) {
        const FontLibResult result = writeFontLibrary(font, chinese, false, language, folder, bmp, count);
        if (!result.ok) std::fprintf(stderr, "fontlib: %s\n", result.error.c_str());
    }
    measured.seconds = secondsSince(start);
    return measured;
}

// Qt keeps rendered glyphs for the life of the process, so every timed run
// gets a process of its own; the result comes back through a pipe.
bool timeQtInChild(const Options &options, int32_t language, const std::string &folder, Measured &measured)
{
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(fds[0]);
        int argc = 1;
        char name[] = "marqora-bench";
        char *argv[] = {name, nullptr};
        QGuiApplication app(argc, argv);
        const Measured result = timeQt(options, language, folder);
        const bool sent = write(fds[1], &result, sizeof result) == ssize_t(sizeof result);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    const bool received = read(fds[0], &measured, sizeof measured) == ssize_t(sizeof measured);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct FtLibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FtFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FtLibrary = std::unique_ptr<std::remove_pointer_t<FT_Library>, FtLibraryDeleter>;
using FtFace = std::unique_ptr<std::remove_pointer_t<FT_Face>, FtFaceDeleter>;

// The face of the collection named kUmingFamily.
FtFace openUming(FT_Library library)
{
    for (FT_Long index = 0;; ++index) {
        FT_Face face = nullptr;
        if (FT_New_Face(library, kUmingFile, index, &face) != 0) return nullptr;
        FtFace owned(face);
        if (face->family_name && std::strcmp(face->family_name, kUmingFamily) == 0) return owned;
        if (index + 1 >= face->num_faces) return nullptr;
    }
}

// One-bit glyph copied into the cell with its top-left at the pen position.
void blitMono(const FT_GlyphSlot slot, int baseline, CellSize cell, std::vector<uint32_t> &pixels)
{
    const FT_Bitmap &bitmap = slot->bitmap;
    for (int row = 0; row < int(bitmap.rows); ++row) {
        const int y = baseline - slot->bitmap_top + row;
        if (y < 0 || y >= cell.height) continue;
        const unsigned char *bits = bitmap.buffer + row * bitmap.pitch;
        for (int column = 0; column < int(bitmap.width); ++column) {
            const int x = slot->bitmap_left + column;
            if (x >= 0 && x < cell.width && (bits[column >> 3] & (0x80 >> (column & 7))))
                pixels[std::size_t(y * cell.width + x)] = 0xFFFF0000u;
        }
    }
}

Measured timeFreeType(const Options &options, int32_t language, bool &ok)
{
    Measured measured;
    FT_Library raw = nullptr;
    ok = FT_Init_FreeType(&raw) == 0;
    if (!ok) return measured;
    FtLibrary library(raw);
    FtFace face = openUming(raw);
    ok = face && FT_Set_Pixel_Sizes(face.get(), 0, FT_UInt(options.pixels)) == 0;
    if (!ok) return measured;

    const int baseline = int(face->size->metrics.ascender >> 6);
    std::array<uint8_t, kMaxRecordBytes> record;
    const auto start = Clock::now();
    for (LibraryKind kind : {LibraryKind::Ascii, LibraryKind::Chinese}) {
        const CellSize cell = kind == LibraryKind::Ascii ? CellSize{options.pixels / 2 & ~1, options.pixels}
                                                         : CellSize{options.pixels, options.pixels};
        std::vector<uint32_t> pixels(std::size_t(cell.width * cell.height));
        const PixelView view{reinterpret_cast<const unsigned char *>(pixels.data()), cell.width * 4,
                             cell.width, cell.height};
        for (char32_t character : libraryCharacters(libraryLayout(kind, language))) {
            std::fill(pixels.begin(), pixels.end(), 0xFF000000u);
            if (character != kNoCharacter &&
                FT_Load_Char(face.get(), character, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0)
                blitMono(face->glyph, baseline, cell, pixels);
            GetFont(view, false, record);
            ++measured.glyphs;
        }
    }
    measured.seconds = secondsSince(start);
    return measured;
}

void print(const char *name, const Measured &measured)
{
    std::printf("%-40s %6zu glyphs %8.3f s %10.0f glyphs/s\n", name, measured.glyphs, measured.seconds,
                measured.seconds > 0 ? double(measured.glyphs) / measured.seconds : 0.0);
}

}  // namespace

int benchFontlib(const std::string &, int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: marqora-bench fontlib [--big5] [--size PX] [--runs N]\n"
                             "  PX 4..256 (default 16); best of N runs (default 3)\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    std::string folder = (std::filesystem::temp_directory_path() / "marqora-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("fontlib: temporary folder");
        return 1;
    }
    folder += '/';
    const int32_t language = options.big5 ? 1 : 0;

    std::printf("font %s, %d px, %s, best of %d runs\n", kUmingFamily, options.pixels,
                options.big5 ? "Big5" : "GB2312", options.runs);
    const auto faster = [](const Measured &a, const Measured &b) { return a.seconds <= b.seconds ? a : b; };
    Measured qt, freetype;
    for (int run = 0; run < options.runs; ++run) {
        Measured qtRun;
        if (!timeQtInChild(options, language, folder, qtRun)) {
            std::fprintf(stderr, "fontlib: the Qt run failed\n");
            return 1;
        }
        bool ok = false;
        const Measured freetypeRun = timeFreeType(options, language, ok);
        if (!ok) {
            std::fprintf(stderr, "fontlib: cannot open %s at %d px\n", kUmingFile, options.pixels);
            return 1;
        }
        qt = run == 0 ? qtRun : faster(qt, qtRun);
        freetype = run == 0 ? freetypeRun : faster(freetype, freetypeRun);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    print("Qt (QPainter, pack, write files)", qt);
    print("FreeType direct (mono render, pack)", freetype);
    if (freetype.seconds > 0) std::printf("ratio Qt / FreeType: %.2f\n", qt.seconds / freetype.seconds);
    return 0;
}
