// The remembered window state: what survives a round trip, what a corrupt or hostile file
// gives, where a saved frame lands on the screens there are, and the start in the last folder.
#include "session/WindowState.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/session/MainTestKit.h"

namespace tarnwick::session {
namespace {

TEST(WindowState, RoundTripKeepsEveryValue) {
    TWindowState saved;
    saved.Geometry = TScreenRect{-40, 25, 1280, 800};
    saved.Maximized = true;
    saved.PaneSplit = {500, 700};
    saved.RemoteSplit = {420, 0};
    saved.LocalColumns = {200, 80, 90, 60, 100};
    saved.RemoteColumns = {310, 70, 80, 50, 120};
    saved.LocalFolder = "/tmp/ a folder with blanks / and \xc3\xa9 ";
    EXPECT_EQ(ParseWindowState(WindowStateText(saved)), saved);
    EXPECT_EQ(ParseWindowState(WindowStateText(TWindowState{})), TWindowState{});
}

TEST(WindowState, CorruptOrHostileValuesFallBackToDefaults) {
    struct Case {
        const char* text;
        bool geometry;
        size_t paneParts;
        size_t columns;
        const char* folder;
    };
    const Case cases[] = {
        {"", false, 0, 0, ""},
        {"\x01\xff garbage\n[Window\n=\n", false, 0, 0, ""},
        {"[window]\nx=10\ny=20\nwidth=800\nheight=600\n", true, 0, 0, ""},
        // Absurd sizes and places.
        {"[Window]\nX=0\nY=0\nWidth=99999999\nHeight=600\n", false, 0, 0, ""},
        {"[Window]\nX=0\nY=0\nWidth=10\nHeight=5\n", false, 0, 0, ""},
        {"[Window]\nX=-2147483648\nY=0\nWidth=800\nHeight=600\n", false, 0, 0, ""},
        {"[Window]\nX=1e3\nY=0\nWidth=800\nHeight=600\n", false, 0, 0, ""},
        {"[Window]\nX=0\nY=0\nWidth=800\nHeight=600\nWidth=1\n", true, 0, 0, ""},
        // Splitters: two or more parts, none negative, not all empty.
        {"[Window]\nPaneSplit=300,400\n", false, 2, 0, ""},
        {"[Window]\nPaneSplit=300\n", false, 0, 0, ""},
        {"[Window]\nPaneSplit=0,0\n", false, 0, 0, ""},
        {"[Window]\nPaneSplit=-5,400\n", false, 0, 0, ""},
        {"[Window]\nPaneSplit=1,2,3,4,5\n", false, 0, 0, ""},
        {"[Window]\nPaneSplit=300,,400\n", false, 0, 0, ""},
        {"[Window]\nPaneSplit=300,99999999999999\n", false, 0, 0, ""},
        // Columns.
        {"[Window]\nLocalColumns=100,50\n", false, 0, 2, ""},
        {"[Window]\nLocalColumns=100,0\n", false, 0, 0, ""},
        {"[Window]\nLocalColumns=100,5000\n", false, 0, 0, ""},
        {"[Window]\nLocalColumns=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1\n", false, 0, 0, ""},
        // Folders: absolute ones only.
        {"[Window]\nLocalFolder=/srv/data\n", false, 0, 0, "/srv/data"},
        {"[Window]\nLocalFolder=relative/path\n", false, 0, 0, ""},
        {"[Window]\nLocalFolder=\n", false, 0, 0, ""},
        {"[Other]\nLocalFolder=/srv/data\n", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        const TWindowState s = ParseWindowState(c.text);
        EXPECT_EQ(s.Geometry.has_value(), c.geometry) << c.text;
        EXPECT_EQ(s.PaneSplit.size(), c.paneParts) << c.text;
        EXPECT_EQ(s.LocalColumns.size(), c.columns) << c.text;
        EXPECT_EQ(s.LocalFolder, c.folder) << c.text;
    }
}

TEST(WindowState, NoFolderWithALineBreakIsWritten) {
    TWindowState s;
    s.LocalFolder = "/tmp/a\nWidth=1";
    EXPECT_EQ(WindowStateText(s).find("LocalFolder"), std::string::npos);
}

TEST(WindowState, FileInTheSettingsFolder) {
    testing::TempFolder folder;
    EXPECT_EQ(LoadWindowState(folder.path()), TWindowState{});  // missing file

    TWindowState s;
    s.Geometry = TScreenRect{10, 20, 900, 700};
    s.LocalFolder = folder.path();
    ASSERT_TRUE(SaveWindowState(folder.path(), s));
    EXPECT_EQ(LoadWindowState(folder.path()), s);

    // A folder that has gone is forgotten; the rest stays.
    s.LocalFolder = folder.path() + "/gone";
    ASSERT_TRUE(SaveWindowState(folder.path(), s));
    const TWindowState loaded = LoadWindowState(folder.path());
    EXPECT_EQ(loaded.LocalFolder, "");
    EXPECT_EQ(loaded.Geometry, s.Geometry);

    // Not a file at all: defaults, and a save refuses to replace it.
    std::filesystem::remove(folder.file(kWindowStateFile));
    std::filesystem::create_directory(folder.file(kWindowStateFile));
    EXPECT_EQ(LoadWindowState(folder.path()), TWindowState{});
    EXPECT_FALSE(SaveWindowState(folder.path(), s));
}

TEST(WindowState, PlacedWhollyOnAScreen) {
    const std::vector<TScreenRect> two = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    struct Case {
        TScreenRect saved;
        TScreenRect placed;
    };
    const Case cases[] = {
        {{100, 100, 800, 600}, {100, 100, 800, 600}},      // as it was
        {{2000, 50, 800, 600}, {2000, 50, 800, 600}},      // on the second screen
        {{1700, 0, 800, 600}, {1920, 0, 800, 600}},        // mostly on the second
        {{1500, 0, 800, 600}, {1120, 0, 800, 600}},        // mostly on the first
        {{-5000, -5000, 800, 600}, {560, 240, 800, 600}},  // off every screen: centred
        {{100, 900, 800, 600}, {100, 480, 800, 600}},      // hanging off the bottom
        {{0, 0, 4000, 3000}, {0, 0, 1920, 1080}},          // larger than any screen
        {{3100, 900, 800, 600}, {2400, 424, 800, 600}},    // the second screen's corner
    };
    for (const Case& c : cases) {
        const auto placed = PlaceOnScreens(c.saved, two);
        ASSERT_TRUE(placed.has_value());
        EXPECT_EQ(*placed, c.placed) << c.saved.X << "," << c.saved.Y;
    }
    EXPECT_FALSE(PlaceOnScreens({0, 0, 800, 600}, {}).has_value());
    EXPECT_FALSE(PlaceOnScreens({0, 0, 800, 600}, {{0, 0, 0, 0}}).has_value());
}

using WindowStateStart = testkit::MainFixture;

TEST_F(WindowStateStart, OpensTheLastLocalFolderWhileItExists) {
    testing::TempFolder last;
    TWindowState s;
    s.LocalFolder = last.path();
    ASSERT_TRUE(SaveWindowState(settings.path(), s));
    Create();
    EXPECT_EQ(main->Core().Local.Directory(), last.path());
}

TEST_F(WindowStateStart, AFolderThatIsGoneLeavesTheUsualStart) {
    TWindowState s;
    s.LocalFolder = settings.path() + "/no-such-folder";
    ASSERT_TRUE(SaveWindowState(settings.path(), s));
    Create();
    EXPECT_NE(main->Core().Local.Directory(), s.LocalFolder);
    EXPECT_FALSE(main->Core().Local.Directory().empty());
}

}  // namespace
}  // namespace tarnwick::session
