// The simulated panel drawn from font libraries the program itself made:
// every lit LED of an area must be a glyph bit of the libraries at its place.
#include "Controller.h"
#include "HxProtocol.h"
#include "Panel.h"
#include "PanelPicture.h"
#include "PlayList.h"
#include "ProgramFonts.h"
#include "TempDir.h"
#include "HangGuard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <fstream>

namespace {


constexpr uint16_t kPanelWidth = 64;
constexpr uint16_t kPanelHeight = 48;

// A glyph expected on the panel: from the Chinese library or the ASCII one.
struct Placed {
    bool chinese;
    int record;
    int x;
    int y;
};

std::string positionOf(uint16_t left, uint16_t top, uint16_t width, uint16_t height)
{
    MySetupType record{};
    record.Left = left;
    record.Top = top;
    record.Width = width;
    record.Height = height;
    return areaPosition(record);  // the writers' own encoding
}

std::vector<uint8_t> textOutInfo(uint16_t left, uint16_t top, uint16_t width, uint16_t height)
{
    std::vector<uint8_t> info(hx::kTextInfoSize, 0);
    hx::putU16(info.data(), static_cast<uint16_t>(4096 - width + left));
    hx::putU16(info.data() + 2, top);
    hx::putU16(info.data() + 4, width);
    hx::putU16(info.data() + 6, height);
    return info;
}

std::span<const uint8_t> bytesOf(const std::string &text)
{
    return {reinterpret_cast<const uint8_t *>(text.data()), text.size()};
}

void putFile(const std::string &path, const std::string &content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

class Panel : public ::testing::Test {
protected:
    TempDir disk;
    hxsim::Controller controller{hxsim::ControllerOptions{disk.path(), "HXSIM", kPanelWidth, kPanelHeight, 0, {}, 0}};
    const ProgramFonts &fonts = programFonts(false);

    // One area showing text from the file C:\NEWS.TXT (stored as news.txt:
    // the controller matches names without regard to case).
    void playOneArea(const std::string &position, const std::string &text)
    {
        putFile(disk.file("A/PlayList.qv"), "[Program1]\r\nScreen=1\r\n[Program1_Screen1]\r\nPosition=" + position +
                                                "\r\nItemCount=1\r\nItem1=X,C:\\NEWS.TXT,1,4,5\r\n");
        putFile(disk.file("C/news.txt"), text);
    }

    LedPanel expected(const std::vector<Placed> &glyphs) const
    {
        LedPanel panel(kPanelWidth, kPanelHeight);
        for (const auto &glyph : glyphs) fonts.placeGlyph(panel, glyph.chinese, glyph.record, glyph.x, glyph.y);
        return panel;
    }

    LedPanel render(bool rotated = false)
    {
        hxsim::PanelFrame frame = hxsim::renderPanel(controller, rotated);
        EXPECT_EQ(frame.problem.value_or(""), "");
        return frame.leds;
    }
};

struct LayoutCase {
    const char *name;
    std::string text;
    uint16_t width, height;
    std::vector<Placed> glyphs;
};

TEST_F(Panel, AreaShowsTheGlyphBitsOfBothLibrariesLineByLine)
{
    fonts.installOn(disk.path());
    const LayoutCase cases[] = {
        {"ascii and GB2312 on one line", "AB \xB0\xA1", 64, 16,
         {{false, 'A', 0, 0}, {false, 'B', 8, 0}, {false, ' ', 16, 0}, {true, kRecordOfAh, 24, 0}}},
        {"CR LF ends a line", "AB\r\nC", 64, 48, {{false, 'A', 0, 0}, {false, 'B', 8, 0}, {false, 'C', 0, 16}}},
        {"LF and CR alone end lines too", "A\nB\rC", 64, 48,
         {{false, 'A', 0, 0}, {false, 'B', 0, 16}, {false, 'C', 0, 32}}},
        {"broken where the next one does not fit", "ABC", 16, 48,
         {{false, 'A', 0, 0}, {false, 'B', 8, 0}, {false, 'C', 0, 16}}},
        {"a wide character moves down whole", "A\xB0\xA1", 16, 48, {{false, 'A', 0, 0}, {true, kRecordOfAh, 0, 16}}},
        {"only the first screenful", "A\nB\nC\nD", 64, 32, {{false, 'A', 0, 0}, {false, 'B', 0, 16}}},
        {"a pair outside GB2312 is skipped", "A\x81\x40" "B", 64, 16, {{false, 'A', 0, 0}, {false, 'B', 8, 0}}},
    };
    for (const auto &layout : cases) {
        playOneArea(positionOf(0, 0, layout.width, layout.height), layout.text);
        const LedPanel shown = render();
        EXPECT_GT(shown.litCount(), 0) << layout.name;
        EXPECT_TRUE(shown == expected(layout.glyphs)) << layout.name << ": " << shown.litCount() << " LEDs lit";
    }
}

TEST_F(Panel, RotatedLibraryIsDrawnUprightWhenToldSo)
{
    programFonts(true).installOn(disk.path());
    playOneArea(positionOf(0, 0, 64, 16), "\xB0\xA1" "AB");
    const LedPanel upright = expected({{true, kRecordOfAh, 0, 0}, {false, 'A', 16, 0}, {false, 'B', 24, 0}});
    EXPECT_TRUE(render(true) == upright);
    EXPECT_FALSE(render(false) == upright) << "the descriptor cannot tell; without --rotated the glyph lies on its side";
}

TEST_F(Panel, LeftEdgeIsDecodedFromTheWritersBase4096)
{
    fonts.installOn(disk.path());
    playOneArea(positionOf(10, 4, 40, 16), "A");
    EXPECT_TRUE(render() == expected({{false, 'A', 10, 4}}));

    struct PositionCase {
        const char *position;
        std::optional<PanelArea> area;
    };
    const PositionCase positions[] = {
        {"3968,0,128,32", PanelArea{0, 0, 128, 32}},
        {"4042, 4, 64, 16", PanelArea{10, 4, 64, 16}},
        {"4000,0,96,16", PanelArea{0, 0, 96, 16}},
        {"1,2,3", std::nullopt},
        {"a,0,8,8", std::nullopt},
        {"4096,0,-8,8", std::nullopt},
    };
    for (const auto &item : positions) EXPECT_EQ(hxsim::areaOfPosition(item.position), item.area) << item.position;
    EXPECT_EQ(hxsim::areaOfTextOutInfo(textOutInfo(20, 8, 64, 16)), (PanelArea{20, 8, 64, 16}));
}

TEST_F(Panel, ShownStringCoversItsAreaUntilPlayingRestarts)
{
    fonts.installOn(disk.path());
    playOneArea(positionOf(0, 0, 64, 32), "AB\r\nAB");
    ASSERT_EQ(controller.showString(textOutInfo(0, 16, 64, 16), bytesOf("`R0000000000640016C")), hx::Status::Ok);
    EXPECT_TRUE(render() == expected({{false, 'A', 0, 0}, {false, 'B', 8, 0}, {false, 'C', 0, 16}}))
        << "the prefix is not drawn, the play list's second line is covered";

    ASSERT_EQ(controller.reset(0), hx::Status::Ok);
    EXPECT_TRUE(render() == expected({{false, 'A', 0, 0}, {false, 'B', 8, 0}, {false, 'A', 0, 16}, {false, 'B', 8, 16}}));
}

TEST_F(Panel, DarkWhileOutputIsOffAndWhileBooting)
{
    fonts.installOn(disk.path());
    playOneArea(positionOf(0, 0, 64, 16), "AB");
    const LedPanel text = render();
    ASSERT_GT(text.litCount(), 0);

    controller.turnOutput(false);
    EXPECT_EQ(render().litCount(), 0);
    controller.turnOutput(true);
    EXPECT_TRUE(render() == text);

    controller.reset(1);
    EXPECT_EQ(render().litCount(), 0);
    controller.finishBoot();
    EXPECT_TRUE(render() == text);
}

TEST_F(Panel, WithoutConfigurationOrLibraryTheAreasStayDarkAndSayWhy)
{
    EXPECT_EQ(hxsim::renderPanel(controller, false).problem, "") << "nothing to draw, nothing missing";
    controller.turnOutput(false);
    EXPECT_EQ(hxsim::renderPanel(controller, false).problem, std::nullopt) << "a dark panel is not looked at";
    controller.turnOutput(true);

    playOneArea(positionOf(0, 0, 64, 16), "AB");
    hxsim::PanelFrame frame = hxsim::renderPanel(controller, false);
    EXPECT_EQ(frame.leds.litCount(), 0);
    EXPECT_NE(frame.problem.value_or("").find("Config.qv"), std::string::npos) << frame.problem.value_or("");

    fonts.installOn(disk.path());
    std::filesystem::remove(disk.file("A/Fon/MyHZ.Fon"));
    frame = hxsim::renderPanel(controller, false);
    EXPECT_EQ(frame.leds.litCount(), 0);
    EXPECT_NE(frame.problem.value_or("").find("MyHZ.Fon"), std::string::npos) << frame.problem.value_or("");

    putFile(disk.file("A/Fon/MyHZ.Fon"), "short");
    EXPECT_NE(hxsim::renderPanel(controller, false).problem.value_or("").find("5 bytes"), std::string::npos);
}

TEST_F(Panel, NothingOutsideTheDiskIsDrawnAndNoFifoIsWaitedOn)
{
    namespace fs = std::filesystem;
    TempDir outside;
    struct Case {
        const char *file;   // on the disk
        const char *problem; // what the panel then says is wrong; empty: just dark
        bool canBeFifo;
    };
    const Case cases[] = {
        {"C/news.txt", "", true},          {"A/PlayList.qv", "", true},        {"A/Config.qv", "Config.qv", true},
        {"A/Fon/MyHZ.Fon", "MyHZ.Fon", true}, {"A/Fon", "Fon", false},
    };
    int index = 0;
    for (const auto &c : cases) {
        for (const bool fifo : {false, true}) {
            if (fifo && !c.canBeFifo) continue;
            fs::remove_all(disk.file("A"));
            fs::remove_all(disk.file("C"));
            fonts.installOn(disk.path());
            playOneArea(positionOf(0, 0, 64, 16), "AB");
            ASSERT_GT(render().litCount(), 0) << "the disk as it should be";
            const fs::path target = disk.file(c.file);
            if (fifo) {
                fs::remove(target);
                ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
            } else {
                // The same file, but outside the disk, reached through a link.
                const fs::path moved = outside.file(std::to_string(++index));
                fs::rename(target, moved);
                fs::create_symlink(moved, target);
            }
            HangGuard guard(std::string("drawing the panel with ") + c.file + (fifo ? " a FIFO" : " a link"));
            const hxsim::PanelFrame frame = hxsim::renderPanel(controller, false);
            EXPECT_EQ(frame.leds.litCount(), 0) << c.file << (fifo ? " as a FIFO" : " as a link");
            EXPECT_NE(frame.problem.value_or("?").find(c.problem), std::string::npos)
                << c.file << ": " << frame.problem.value_or("?");
        }
    }
}

TEST(PanelProblemNote, TellsEachNewProblemOnce)
{
    hxsim::PanelProblemNote note;
    const std::optional<std::string> frames[] = {"no Config.qv", "no Config.qv", std::nullopt, "no Config.qv",
                                                 "", "no Config.qv", "MyHZ.Fon missing", "MyHZ.Fon missing"};
    std::vector<std::string> told;
    for (const auto &problem : frames)
        if (const auto text = note.toTell(problem)) told.push_back(*text);
    EXPECT_EQ(told, (std::vector<std::string>{"no Config.qv", "no Config.qv", "MyHZ.Fon missing"}))
        << "again only after it had gone away; a dark frame changes nothing";
}

TEST(FontDescriptor, ReadsWhatTheInitialisationWrites)
{
    struct DescriptorCase {
        const char *text;
        bool valid;
        int count, width, height;
        uint8_t start1, start2;
    };
    const DescriptorCase cases[] = {
        {"Fon\\MyASC.Fon,128,A,8,16", true, 128, 8, 16, 0, 0},
        {"Fon\\MyHZ.Fon,9216,C,16,16,A0,A0", true, 9216, 16, 16, 0xA0, 0xA0},
        {"Fon\\MyHZ.Fon,24576,C,16,16,40,80", true, 24576, 16, 16, 0x80, 0x40},
        {"Fon\\MyHZ.Fon,9216,C,12,12,a0,a0", true, 9216, 12, 12, 0xA0, 0xA0},
        {"Fon\\MyHZ.Fon,9000,C,16,16,A0,A0", false, 0, 0, 0, 0, 0},
        {"Fon\\MyASC.Fon,127,A,8,16", false, 0, 0, 0, 0, 0},
        {"Fon\\MyASC.Fon,128,A,300,16", false, 0, 0, 0, 0, 0},
        {"Fon\\MyASC.Fon,128,A,8", false, 0, 0, 0, 0, 0},
        {",128,A,8,16", false, 0, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0, 0},
    };
    for (const auto &item : cases) {
        const auto descriptor = hxsim::parseFontDescriptor(item.text);
        ASSERT_EQ(descriptor.has_value(), item.valid) << item.text;
        if (!descriptor) continue;
        EXPECT_EQ(descriptor->count, item.count) << item.text;
        EXPECT_EQ(descriptor->width, item.width) << item.text;
        EXPECT_EQ(descriptor->height, item.height) << item.text;
        EXPECT_EQ(descriptor->start1, item.start1) << item.text;
        EXPECT_EQ(descriptor->start2, item.start2) << item.text;
    }
    EXPECT_EQ(hxsim::shownTextBody("`R0000000001280016Hi"), "Hi");
    EXPECT_EQ(hxsim::shownTextBody("`R00000000012800Hi"), "`R00000000012800Hi") << "not the prefix";
}

TEST(PanelPicture, EveryLedIsAWholeDotAndReadsBack)
{
    LedPanel panel(5, 3);
    panel.set(0, 0, true);
    panel.set(4, 2, true);
    const QImage picture = panelPicture(panel);
    EXPECT_EQ(picture.size(), QSize(5 * kPixelsPerLed, 3 * kPixelsPerLed));
    EXPECT_EQ(qRed(picture.pixel(0, 0)), 0) << "dots are round: the corner of a cell is black";
    EXPECT_GT(qRed(picture.pixel(3, 3)), 200);
    EXPECT_TRUE(panelOfPicture(picture) == panel);

    TempDir folder;
    QString error;
    ASSERT_TRUE(hxsim::writePanelPng(picture, QString::fromStdString(folder.file("panel.png")), &error))
        << error.toStdString();
    EXPECT_TRUE(panelOfPicture(QImage(QString::fromStdString(folder.file("panel.png")))) == panel);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << "no temporary file left";
}

} // namespace
