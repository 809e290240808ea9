// A form's stored geometry without a window: reading, range checks, scaling, writing.
#include "settings/StoragePropertyInterceptor.h"

#include <gtest/gtest.h>

using namespace pictavo;

namespace {

class TFixedGeometry : public TFormGeometryInterceptor {
public:
    TFormGeometryEh Geometry;
    void Readed() override {}

protected:
    TFormGeometryEh SavedGeometry() const override { return Geometry; }
};

// Feeds "NAME = VALUE" to the interceptor as the walk would.
void Feed(TFormGeometryInterceptor& interceptor, const std::string& name, const std::string& value) {
    const std::string text = name + " = " + value;
    TPropReaderEh reader(text);
    EXPECT_EQ(reader.ReadPropName(), name);
    interceptor.ReadProperty(reader, name);
}

}  // namespace

TEST(FormGeometry, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDivRounded(800, 120, 96), 1000);
    EXPECT_EQ(MulDivRounded(50, 120, 96), 63);                     // 62.5
    EXPECT_EQ(MulDivRounded(-50, 120, 96), -63);                   // -62.5
    EXPECT_EQ(MulDivRounded(49, 120, 96), 61);                     // 61.25
    EXPECT_EQ(MulDivRounded(INT64_MAX, 2, 4), INT64_MAX / 2 + 1);  // no overflow on the way
}

TEST(FormGeometry, GeometryStoredAt96IsScaledAt120) {
    TFixedGeometry g;
    Feed(g, "Height", "600");
    Feed(g, "Left", "100");
    Feed(g, "PixelsPerInch", "96");
    Feed(g, "Top", "50");
    Feed(g, "Width", "800");
    const TFormRectEh current{1, 2, 3, 4};
    EXPECT_EQ(g.RestoredRect(current, 120), (TFormRectEh{125, 63, 1000, 750}));
    EXPECT_EQ(g.RestoredRect(current, 96), (TFormRectEh{100, 50, 800, 600}));
    EXPECT_TRUE(g.PositionRead());
}

TEST(FormGeometry, ValuesNotReadKeepTheWindowsOwn) {
    TFixedGeometry g;
    EXPECT_FALSE(g.AnythingRead());
    Feed(g, "width", "640");  // names in any case
    EXPECT_TRUE(g.AnythingRead());
    EXPECT_FALSE(g.PositionRead());
    // No stored density: nothing is scaled.
    EXPECT_EQ(g.RestoredRect({7, 8, 9, 10}, 144), (TFormRectEh{7, 8, 640, 10}));
}

TEST(FormGeometry, RefusesValuesNoWindowHad) {
    TFixedGeometry g;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{{"Width", "0"},
                                                                                      {"Height", "-5"},
                                                                                      {"Left", "2000000"},
                                                                                      {"PixelsPerInch", "0"},
                                                                                      {"PixelsPerInch", "99999"},
                                                                                      {"WindowState", "wsBogus"},
                                                                                      {"WindowState", "2"},
                                                                                      {"Width", "'800'"}})
        EXPECT_THROW(Feed(g, name, value), EPropReadError) << name << " = " << value;
    EXPECT_FALSE(g.AnythingRead());
    Feed(g, "Left", "-1000000");
    Feed(g, "WindowState", "WSMAXIMIZED");
    EXPECT_EQ(*g.WindowState, TWindowStateEh::Maximized);
    // A scaled value that leaves the range keeps the window's own.
    Feed(g, "PixelsPerInch", "10");
    EXPECT_EQ(g.RestoredRect({5, 6, 7, 8}, 96).Left, 5);
}

TEST(FormGeometry, WritesTheSavedGeometry) {
    TFixedGeometry g;
    g.Geometry = {{-3, 4, 500, 400}, 120, TWindowStateEh::Maximized};
    TPropWriterEh w;
    w.WriteObjectBegin("f", "Tf");
    for (const char* name : {"Height", "Left", "PixelsPerInch", "Top", "Width", "WindowState"})
        g.WriteProperty(w, name);
    w.WriteObjectEnd();
    EXPECT_EQ(w.Text(), "object f: Tf\n  Height = 400\n  Left = -3\n  PixelsPerInch = 120\n  Top = 4\n"
                        "  Width = 500\n  WindowState = wsMaximized\nend\n");
    EXPECT_TRUE(g.Intercepts("pixelsperinch"));
    EXPECT_FALSE(g.Intercepts("LastFolder"));
}
