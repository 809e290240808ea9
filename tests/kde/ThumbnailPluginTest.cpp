// The KDE thumbnail plugin as KIO's thumbnail worker uses it: installed by `cmake --install`,
// found in the kf5/thumbcreator plugin folder, made by its factory as a KIO::ThumbnailCreator
// and asked for thumbnails. Its images are compared with `pictavo-cli thumbnail`'s PNG files,
// pixel for pixel; files it cannot draw give a failed result.
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KPluginMetaData>

#include <QCoreApplication>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// Runs a command line quietly; its exit status.
int RunQuiet(const std::string& command) {
    const int raw = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class KdeThumbnailPlugin : public testing::Test {
protected:
    // One install for the whole suite, and the plugin found in it the way KIO finds plugins.
    static void SetUpTestSuite() {
        Prefix = std::make_unique<TempDir>();
        ASSERT_EQ(RunQuiet(ShellQuote(PICTAVO_CMAKE) + " --install " + ShellQuote(PICTAVO_BUILD_DIR) + " --prefix " +
                           ShellQuote(Prefix->Path())),
                  0);
        // Only the installed plugin folder is searched, so that a plugin installed on the
        // system is never the one tested.
        QCoreApplication::setLibraryPaths({QString::fromStdString(Prefix->File(PICTAVO_KF5_PLUGINDIR))});
        for (const KPluginMetaData& md : KPluginMetaData::findPlugins(QStringLiteral("kf5/thumbcreator")))
            if (md.pluginId() == QLatin1String("pictavothumbnail")) Metadata = md;
        if (!Metadata.isValid()) return;
        auto result = KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(Metadata);
        Creator.reset(result.plugin);
    }
    static void TearDownTestSuite() {
        Creator.reset();
        Prefix.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(Metadata.isValid()) << "pictavothumbnail not found in the installed kf5/thumbcreator";
        ASSERT_TRUE(Creator) << "the plugin's factory made no KIO::ThumbnailCreator";
    }

    static QImage Ask(const std::string& path, int width, int height) {
        const KIO::ThumbnailRequest request(QUrl::fromLocalFile(QString::fromStdString(path)), QSize(width, height),
                                            QStringLiteral("application/x-ms-dos-executable"), 1.0, 0);
        const KIO::ThumbnailResult result = Creator->create(request);
        if (!result.isValid()) return {};
        EXPECT_FALSE(result.image().isNull());
        return result.image().convertToFormat(QImage::Format_ARGB32);
    }

    static inline std::unique_ptr<TempDir> Prefix;
    static inline KPluginMetaData Metadata;
    static inline std::unique_ptr<KIO::ThumbnailCreator> Creator;
    TempDir Dir;
};

// The CLI's thumbnail of a file at a size; an empty picture when it fails.
Picture CliThumbnail(const TempDir& dir, const std::string& file, int size) {
    const std::string out = dir.File("cli.png");
    std::remove(out.c_str());
    if (RunQuiet(ShellQuote(PICTAVO_CLI) + " thumbnail -s " + std::to_string(size) + " " + ShellQuote(file) + " " +
                 ShellQuote(out)) != 0)
        return {};
    return ReadPngFile(out);
}

// The first difference between an image and a picture, or "" when they are the same.
std::string Difference(const QImage& image, const Picture& picture) {
    if (image.width() != picture.Width || image.height() != picture.Height)
        return "size " + std::to_string(image.width()) + "x" + std::to_string(image.height()) + " against " +
               std::to_string(picture.Width) + "x" + std::to_string(picture.Height);
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            if (image.pixel(x, y) != picture.Colour[static_cast<size_t>(y) * picture.Width + x])
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

// Icons of varied colours, with transparency: a 16-pixel DIB, a 32-pixel DIB and a 48-pixel
// PNG with alpha.
std::vector<IcoImage> Images(int colours) {
    const auto small = MakeDib(MakePicture(16, 16, colours), 8), middle = MakeDib(MakePicture(32, 32), 24),
               large = MakePng(MakePicture(48, 48, 0, true));
    return {{InfoFor(16, 8, small.size()), small},
            {InfoFor(32, 24, middle.size()), middle},
            {InfoFor(48, 32, large.size()), large}};
}

// A DLL whose first group icon lists the images of Images().
std::vector<uint8_t> Dll(bool pe64) {
    const auto images = Images(16);
    std::vector<PeResource> resources;
    std::vector<uint16_t> ids;
    for (size_t i = 0; i < images.size(); ++i) {
        ids.push_back(static_cast<uint16_t>(i + 1));
        resources.push_back({RT_ICON, true, ids.back(), {}, 1033, images[i].Bytes});
    }
    auto group = GroupData(ids);
    for (size_t i = 0; i < images.size(); ++i) {  // each entry: the image's own size, depth and length
        uint8_t* entry = &group[6 + 14 * i];
        const int side = images[i].Info.Width;
        entry[0] = entry[1] = static_cast<uint8_t>(side);
        entry[6] = static_cast<uint8_t>(images[i].Info.BitCount);
        entry[7] = 0;
        const auto n = static_cast<uint32_t>(images[i].Bytes.size());
        for (int b = 0; b < 4; ++b) entry[8 + b] = static_cast<uint8_t>(n >> (8 * b));
    }
    resources.push_back({RT_GROUP_ICON, true, 1, {}, 1033, group});
    return BuildPe(resources, pe64).Bytes;
}

// The files the plugin draws, written into dir: an .ico, PE32 and PE32+ DLLs, and a 16-bit
// executable and an .icl library (both NE files).
std::vector<std::string> IconFiles(const TempDir& dir) {
    WriteBytes(dir.File("icons.ico"), MakeIco(Images(0)));
    WriteBytes(dir.File("app.dll"), Dll(false));
    WriteBytes(dir.File("app64.dll"), Dll(true));
    WriteBytes(dir.File("second.ico"), MakeIco({Images(4)[0]}));
    TIconLibrary library;
    LoadIcons(dir.File("icons.ico"), library);
    LoadIcons(dir.File("second.ico"), library);
    library.SaveToFile(dir.File("lib.icl"));
    library.SaveToFile(dir.File("old.exe"));
    return {"icons.ico", "app.dll", "app64.dll", "lib.icl", "old.exe"};
}

}  // namespace

TEST_F(KdeThumbnailPlugin, MetadataNamesTheThumbnailerEntrysTypesAndAsksForCaching) {
    const auto entry =
        ReadKeyFileGroup(std::string(PICTAVO_SOURCE_DIR) + "/packaging/pictavo.thumbnailer", "Thumbnailer Entry");
    ASSERT_EQ(entry.count("MimeType"), 1u);
    const QStringList expected =
        QString::fromStdString(entry.at("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    EXPECT_EQ(Metadata.mimeTypes(), expected);
    EXPECT_TRUE(Metadata.value(QStringLiteral("CacheThumbnail"), false));
    EXPECT_FALSE(Metadata.name().isEmpty());
    EXPECT_FALSE(Metadata.description().isEmpty());
    EXPECT_TRUE(Metadata.fileName().startsWith(QString::fromStdString(Prefix->Path())));
}

TEST_F(KdeThumbnailPlugin, SamePixelsAsTheCommandLine) {
    // Sizes below, at, between and above the images', and a box wider than high (the
    // thumbnail fits its shorter side), and one past the largest thumbnail the core makes.
    const std::vector<std::pair<int, int>> boxes = {{16, 16},   {32, 32}, {40, 40},    {128, 128},
                                                    {256, 256}, {96, 64}, {4096, 2048}};
    for (const std::string& name : IconFiles(Dir)) {
        for (const auto& [width, height] : boxes) {
            const int size = std::min({width, height, 1024});
            const QImage image = Ask(Dir.File(name), width, height);
            ASSERT_FALSE(image.isNull()) << name << " " << width << "x" << height;
            EXPECT_EQ(std::max(image.width(), image.height()), size) << name;
            const Picture cli = CliThumbnail(Dir, Dir.File(name), size);
            ASSERT_GT(cli.Width, 0) << name;
            EXPECT_EQ(Difference(image, cli), "") << name << " at " << width << "x" << height;
        }
    }
    // At an image's own size its pixels come through unchanged, transparency included.
    const Picture source = MakePicture(48, 48, 0, true);
    const QImage own = Ask(Dir.File("icons.ico"), 48, 48);
    for (const auto& [x, y] : {std::pair{0, 0}, {3, 0}, {47, 47}, {20, 31}})
        EXPECT_EQ(own.pixel(x, y), source.Colour[static_cast<size_t>(y) * 48 + x]) << x << "," << y;
}

TEST_F(KdeThumbnailPlugin, FilesItCannotDrawGiveAFailedResult) {
    const auto text = std::vector<uint8_t>{'n', 'o', ' ', 'i', 'c', 'o', 'n'};
    WriteBytes(Dir.File("text.exe"), text);
    WriteBytes(Dir.File("empty.ico"), {});
    WriteBytes(Dir.File("noicons.dll"), BuildPe({{16, true, 1, {}, 1033, std::vector<uint8_t>(64, 7)}}).Bytes);
    std::vector<uint8_t> garbage(4096);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7919 >> 3);
    garbage[0] = 'M', garbage[1] = 'Z';
    WriteBytes(Dir.File("garbage.exe"), garbage);
    for (const char* name : {"text.exe", "empty.ico", "noicons.dll", "garbage.exe", "missing.ico"})
        EXPECT_TRUE(Ask(Dir.File(name), 128, 128).isNull()) << name;
    // Files of other places than the local file system are not read.
    const KIO::ThumbnailRequest remote(QUrl(QStringLiteral("https://example.org/icons.ico")), QSize(128, 128),
                                       QStringLiteral("image/vnd.microsoft.icon"), 1.0, 0);
    EXPECT_FALSE(Creator->create(remote).isValid());
}

TEST_F(KdeThumbnailPlugin, TruncatedFilesFailOrMatchTheCommandLine) {
    // Cut anywhere, a file is either drawn as the command line draws it, or both fail; cut
    // within its headers, it always fails.
    for (const std::string& name : IconFiles(Dir)) {
        const auto bytes = ReadBytes(Dir.File(name));
        for (const size_t length : {size_t{0}, size_t{1}, size_t{6}, size_t{40}, bytes.size() / 4, bytes.size() / 2,
                                    bytes.size() * 3 / 4, bytes.size() - 1}) {
            WriteBytes(Dir.File("cut"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
            const QImage image = Ask(Dir.File("cut"), 64, 64);
            const Picture cli = CliThumbnail(Dir, Dir.File("cut"), 64);
            if (length <= 40) {
                EXPECT_TRUE(image.isNull()) << name << " cut to " << length;
            }
            EXPECT_EQ(image.isNull(), cli.Width == 0) << name << " cut to " << length;
            if (!image.isNull() && cli.Width > 0) {
                EXPECT_EQ(Difference(image, cli), "") << name << " cut to " << length;
            }
        }
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
