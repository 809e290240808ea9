#include "cli/Commands.h"

#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/FileIO.h"
#include "base/Language.h"
#include "base/Paths.h"
#include "cli/Json.h"
#include "icons/AdvancedIcon.h"
#include "icons/BmpWriter.h"
#include "icons/IconTools.h"
#include "icons/PngWriter.h"
#include "library/IconFileSearch.h"
#include "library/IconFolder.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Thumbnail.h"
#include "library/UniqueNames.h"
#include "search/FindFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string_view>

namespace pictavo::cli {

namespace {

// The usage text, in the user's language.
const char* Usage() {
    return Tr("用法: pictavo-cli 命令 [选项] 文件...\n"
              "\n"
              "命令:\n"
              "  list [--json] 文件...       列出每个文件 (.ico、可执行文件、DLL、图标库) 的图标及其图像\n"
              "                              (序号、名称、图像数量; 每个图像 \"宽 x 高 - 位数bit\" 和字节数)\n"
              "                              --json: 以一个 JSON 数组输出到标准输出\n"
              "  extract -o 目录 文件...     把每个文件的每个图标保存为 目录/名称.ico,\n"
              "                              重名时追加 \"_1\" (不区分大小写), 并打印写出的路径\n"
              "  extract --png [--size N] -o 目录 文件...\n"
              "                              把每个图标的每个图像 (--size: 只取宽为 N 的) 保存为\n"
              "                              目录/名称_宽x高_位数bit.png (保留透明度), 重名时追加 \"_1\"\n"
              "  bmp [--background RRGGBB] 文件 图标序号 图像序号 输出.bmp\n"
              "                              把一个图像 (图标序号同 list; 图像按位数排序后的序号) 画在\n"
              "                              背景色 (默认白色) 上, 多出的底行为背景色, 保存为 24 位 BMP\n"
              "  icl -o 图标库.icl 文件...    把所有文件的图标收集到一个图标库 (.icl) 并保存,\n"
              "                              重名时追加 \"_1\"; 打印 \"图标库<TAB>图标数\"\n"
              "  search [-r] [--mask 类型] [--keep-duplicates] [--json] 文件夹...\n"
              "                              在文件夹中 (-r: 包含子目录) 查找含有图标的文件, 类型默认 \"*.*\"\n"
              "                              (多个用 \";\" 分隔); 每个文件一行: 名称<TAB>图标数<TAB>修改时间\n"
              "                              <TAB>大小 [KB]<TAB>位置; 最后一行为计数. 同名文件只列出第一个,\n"
              "                              除非 --keep-duplicates. --json: 输出一个 JSON 数组 (计数写到标准错误)\n"
              "  count 文件...               每个文件打印一行 \"图标数<TAB>文件\"\n"
              "                              (可执行文件: 图标组的个数; 图标文件: 1; 其他: 0)\n"
              "  thumbnail [-s 尺寸] 文件 输出.png\n"
              "                              把文件的第一个图标保存为缩略图 PNG (供文件管理器使用): 取宽高中\n"
              "                              较大者等于尺寸 (1-1024, 默认 128) 的图像, 否则把较大的图像缩小,\n"
              "                              没有时把最大的图像放大; 保持宽高比和透明度. 文件可以是 file:// URI\n"
              "  -h, --help                  显示本说明\n"
              "  -V, --version               显示版本\n"
              "\n"
              "选项写在文件之前或之间; \"--\" 之后的参数都是文件, 以 \"-\" 开头的也是.\n"
              "退出状态: 0 = 所有文件都已读取; 1 = 有文件无法读取或写入; 2 = 用法错误\n");
}

// The options and file arguments of one command. Flags are named by all their spellings;
// valued options take the next argument or "--name=value".
struct TCommandLine {
    std::set<std::string> Flags;                // the first spelling of each flag given
    std::map<std::string, std::string> Values;  // the first spelling of each valued option given
    std::vector<std::string> Files;

    bool Has(const std::string& flag) const { return Flags.count(flag) > 0; }
    std::string Value(const std::string& name, const std::string& fallback = {}) const {
        const auto it = Values.find(name);
        return it == Values.end() ? fallback : it->second;
    }
};

using TSpellings = std::vector<std::vector<std::string>>;

// A text from a file (a name, a path) as one line of text output: control characters are
// written as escapes, so that no name can start a line of its own.
std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += Format("\\x%02x", c);
        }
    }
    return out;
}

// False after a message on err for an unknown option or a missing value.
bool ParseCommandLine(const char* command, const std::vector<std::string>& args, const TSpellings& flags,
                      const TSpellings& valued, TCommandLine& out, std::ostream& err) {
    auto find = [](const TSpellings& table, const std::string& a) -> const std::string* {
        for (const auto& spellings : table)
            for (const auto& s : spellings)
                if (a == s) return &spellings.front();
        return nullptr;
    };
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsDone || a.size() < 2 || a[0] != '-') {
            out.Files.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if (const std::string* flag = find(flags, a)) {
            out.Flags.insert(*flag);
        } else if (const std::string* option = find(valued, a)) {
            if (i + 1 >= args.size()) {
                err << "pictavo-cli " << command << ": " << Format(Tr("%s 需要一个值"), Printable(a).c_str()) << '\n';
                return false;
            }
            out.Values[*option] = args[++i];
        } else {
            const size_t eq = a.find('=');
            const std::string* joined = eq == std::string::npos ? nullptr : find(valued, a.substr(0, eq));
            if (!joined) {
                err << "pictavo-cli " << command << ": " << Format(Tr("未知选项 %s"), Printable(a).c_str()) << '\n';
                return false;
            }
            out.Values[*joined] = a.substr(eq + 1);
        }
    }
    return true;
}

// The icons of one file, in order, read the way the window reads them: an executable's or
// icon library's icons under their names, else an .ico file's icon named after the file.
// Raises the reader's error when the file cannot be read, and an error for a file that is
// none of the kinds read.
void ReadFileIcons(const std::string& path, TIconLibrary& library) {
    library.Icons().Clear();
    if (LoadIcons(path, library) > 0) return;
    const TFileSource file(path);
    if (!file.Valid() || IconFileKind(file) == TIconFileKind::None)
        throw EPictavoError(Message("不是图标文件、可执行文件或图标库"));
}

void PrintListText(const std::string& path, const TIconList& icons, std::ostream& out) {
    out << Printable(path) << '\n';
    for (int i = 0; i < icons.Count(); ++i) {
        const auto& images = icons.Icon(i)->Images();
        const int count = images.Count();
        out << "  [" << i << "] " << Printable(icons.Name(i)) << "  "
            << Format(TrN("(%d 个图像)", "(%d 个图像)", count), count) << '\n';
        for (int k = 0; k < images.Count(); ++k) {
            const TIconImage* image = images.GetItem(k);
            const unsigned bytes = image->Info().BytesInRes;
            out << "      " << image->Label() << "  " << Format(TrN("%u 字节", "%u 字节", bytes), bytes)
                << (image->IsPng() ? "  PNG" : "") << '\n';
        }
    }
}

void PrintListJson(const std::string& path, const TIconList& icons, std::ostream& out) {
    out << "{\"file\": " << JsonString(path) << ", \"icons\": [";
    for (int i = 0; i < icons.Count(); ++i) {
        if (i) out << ", ";
        out << "{\"index\": " << i << ", \"name\": " << JsonString(icons.Name(i)) << ", \"images\": [";
        const auto& images = icons.Icon(i)->Images();
        for (int k = 0; k < images.Count(); ++k) {
            const TIconImage* image = images.GetItem(k);
            if (k) out << ", ";
            out << "{\"width\": " << image->Width() << ", \"height\": " << image->Height()
                << ", \"bits\": " << image->BitCount() << ", \"bytes\": " << image->Info().BytesInRes
                << ", \"png\": " << (image->IsPng() ? "true" : "false") << '}';
        }
        out << "]}";
    }
    out << "]}";
}

int CmdList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("list", args, {{"--json"}}, {}, cl, err)) return 2;
    const bool json = cl.Has("--json");
    const std::vector<std::string>& files = cl.Files;
    if (files.empty()) {
        err << "pictavo-cli list: " << Tr("缺少文件") << '\n' << Usage();
        return 2;
    }
    int status = 0;
    TIconLibrary library;
    if (json) out << '[';
    for (size_t f = 0; f < files.size(); ++f) {
        const std::string& path = files[f];
        try {
            ReadFileIcons(path, library);
            if (json) {
                if (f) out << ", ";
                PrintListJson(path, library.Icons(), out);
            } else {
                PrintListText(path, library.Icons(), out);
            }
        } catch (const std::exception& e) {
            status = 1;
            err << Printable(path) << ": " << Printable(e.what()) << '\n';
            if (json) {
                if (f) out << ", ";
                out << "{\"file\": " << JsonString(path) << ", \"error\": " << JsonString(SourceText(e)) << '}';
            }
        }
    }
    if (json) out << "]\n";
    return status;
}

// The images extract writes of one icon: all of them, or only those `size` pixels wide.
std::vector<const TIconImage*> ChosenImages(const TAdvancedIcon& icon, int size) {
    std::vector<const TIconImage*> images;
    for (int k = 0; k < icon.Images().Count(); ++k) {
        const TIconImage* image = icon.Images().GetItem(k);
        if (size < 0 || image->Width() == size) images.push_back(image);
    }
    return images;
}

// A whole non-negative decimal number, or -1.
int ParseIndex(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(text);
}

int CmdExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("extract", args, {{"--png"}}, {{"-o", "--output"}, {"--size"}}, cl, err)) return 2;
    const std::string dir = cl.Value("-o");
    const bool png = cl.Has("--png");
    const std::vector<std::string>& files = cl.Files;
    const int size = cl.Values.count("--size") ? ParseIndex(cl.Value("--size")) : -1;
    if (dir.empty() || files.empty() || (cl.Values.count("--size") && (size < 0 || !png))) {
        err << "pictavo-cli extract: " << Tr("需要 -o 目录 和至少一个文件 (--size 只用于 --png, 值为像素数)") << '\n'
            << Usage();
        return 2;
    }
    int status = 0;
    TIconFolder folder(dir);
    TIconLibrary library;
    for (const auto& path : files) {
        try {
            ReadFileIcons(path, library);
        } catch (const std::exception& e) {
            status = 1;
            err << Printable(path) << ": " << Printable(e.what()) << '\n';
            continue;
        }
        // Every file written holds its own copy of the images it shares with others: what all
        // of them write together is bounded by the bytes they cover, as for a single save.
        try {
            std::vector<const TIconImage*> images;
            uint64_t bytes = 0;
            for (int i = 0; i < library.Icons().Count(); ++i) {
                const TAdvancedIcon& icon = *library.Icons().Icon(i);
                const auto chosen = ChosenImages(icon, png ? size : -1);
                images.insert(images.end(), chosen.begin(), chosen.end());
                if (!png)
                    bytes += icon.ImageBytes();
                else
                    for (const TIconImage* image : chosen) bytes += image->Info().BytesInRes;
            }
            CheckSaveSize(images, bytes);
        } catch (const std::exception& e) {
            status = 1;
            err << Printable(path) << ": " << Printable(e.what()) << '\n';
            continue;
        }
        // One save: a failure is reported and the run goes on, unless there is no folder at all.
        const auto save = [&](const std::function<std::string()>& write) {
            try {
                out << Printable(write()) << '\n';
                return true;
            } catch (const EFCreateError& e) {
                status = 1;
                if (!folder.Made()) {  // no folder to write into: nothing more can be written
                    err << "pictavo-cli extract: " << Printable(e.what()) << '\n';
                    return false;
                }
                err << Printable(path) << ": " << Printable(e.what()) << '\n';
            } catch (const std::exception& e) {
                status = 1;
                err << Printable(path) << ": " << Printable(e.what()) << '\n';
            }
            return true;
        };
        for (int i = 0; i < library.Icons().Count(); ++i) {
            const TAdvancedIcon& icon = *library.Icons().Icon(i);
            const std::string& name = library.Icons().Name(i);
            if (!png) {
                if (!save([&] { return folder.Save(icon, name); })) return 1;
                continue;
            }
            for (const TIconImage* image : ChosenImages(icon, size)) {
                // The picture at its own size: a 76 x 24 image stays 76 x 24.
                const auto raster = image->OwnSizePixels();
                if (!raster) {
                    status = 1;
                    err << Printable(path) << ": "
                        << Printable(Format(Tr("图标 \"%s\" 的图像 %s 无法解码"), name.c_str(), image->Label().c_str()))
                        << '\n';
                    continue;
                }
                const std::string imageName =
                    name + Format("_%dx%d_%dbit", raster->Width, raster->Height, static_cast<int>(image->Depth()));
                if (!save([&] { return folder.SavePng(*raster, imageName); })) return 1;
            }
        }
    }
    return status;
}

int CmdBmp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("bmp", args, {}, {{"--background"}}, cl, err)) return 2;
    const std::vector<std::string>& files = cl.Files;
    // RRGGBB as the program's 0x00BBGGRR colour value; white by default.
    const std::string background = cl.Value("--background", "FFFFFF");
    const bool hex =
        background.size() == 6 && background.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (files.size() != 4 || !hex || ParseIndex(files[1]) < 0 || ParseIndex(files[2]) < 0) {
        err << "pictavo-cli bmp: " << Tr("需要 文件 图标序号 图像序号 输出.bmp (--background 为 RRGGBB)") << '\n'
            << Usage();
        return 2;
    }
    const uint32_t rgb = static_cast<uint32_t>(std::stoul(background, nullptr, 16));
    const uint32_t backColor = ((rgb >> 16) & 0xFFu) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16);
    const std::string& path = files[0];
    const int iconIndex = ParseIndex(files[1]), imageIndex = ParseIndex(files[2]);
    try {
        TIconLibrary library;
        ReadFileIcons(path, library);
        if (iconIndex >= library.Icons().Count())
            throw EPictavoError(FormatMessage("没有序号为 %d 的图标 (共 %d 个)", iconIndex, library.Icons().Count()));
        // The images in the order the window's list shows them: by depth, then width.
        TAdvancedIcon icon;
        icon.Assign(*library.Icons().Icon(iconIndex));
        icon.Images().SortByDepth();
        const TIconImage* image = icon.Images().GetItem(imageIndex);
        if (!image)
            throw EPictavoError(FormatMessage("图标 %d 没有序号为 %d 的图像 (共 %d 个)", iconIndex, imageIndex,
                                              static_cast<int>(icon.Images().Count())));
        SaveImageAsBitmap(*image, backColor, files[3]);
        out << Printable(files[3]) << '\n';
    } catch (const std::exception& e) {
        err << Printable(path) << ": " << Printable(e.what()) << '\n';
        return 1;
    }
    return 0;
}

int CmdIcl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("icl", args, {}, {{"-o", "--output"}}, cl, err)) return 2;
    const std::string target = cl.Value("-o");
    const std::vector<std::string>& files = cl.Files;
    if (target.empty() || files.empty()) {
        err << "pictavo-cli icl: " << Tr("需要 -o 图标库.icl 和至少一个文件") << '\n' << Usage();
        return 2;
    }
    int status = 0;
    TIconLibrary library;
    for (const auto& path : files) {
        try {
            LoadIcons(path, library);
        } catch (const std::exception& e) {
            status = 1;
            err << Printable(path) << ": " << Printable(e.what()) << '\n';
        }
    }
    try {
        library.SaveToFile(target);
        out << Printable(target) << '\t' << library.Icons().Count() << '\n';
    } catch (const std::exception& e) {
        err << Printable(target) << ": " << Printable(e.what()) << '\n';
        return 1;
    }
    return status;
}

int CmdSearch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("search", args, {{"-r", "--recursive"}, {"--keep-duplicates"}, {"--json"}}, {{"--mask"}}, cl,
                          err))
        return 2;
    const bool recurse = cl.Has("-r"), keepDuplicates = cl.Has("--keep-duplicates"), json = cl.Has("--json");
    const std::string masks = cl.Value("--mask", "*.*");
    const std::vector<std::string>& folders = cl.Files;
    if (folders.empty()) {
        err << "pictavo-cli search: " << Tr("缺少文件夹") << '\n' << Usage();
        return 2;
    }
    int status = 0;
    TFindFile finder;
    // Each folder with each mask as a single target, so that a folder whose path holds ";"
    // stays one folder.
    for (const auto& folder : folders) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            err << "pictavo-cli search: " << Format(Tr("不是文件夹: %s"), Printable(folder).c_str()) << '\n';
            status = 1;
            continue;
        }
        for (const auto& mask : SplitList(masks))
            finder.Criteria().Files.Included.push_back((recurse ? ">" : "<") + folder +
                                                       (folder.back() == '/' ? "" : "/") + mask);
    }
    TIconFileSearch search;
    search.SkipDuplicates = !keepDuplicates;
    bool first = true;
    if (json) out << '[';
    search.Attach(finder, {}, [&](const TIconFileRow& row) {
        if (json) {
            out << (first ? "" : ", ") << "{\"name\": " << JsonString(row.Name) << ", \"icons\": " << row.Icons
                << ", \"time\": " << JsonString(DosTimeText(row.Time, 'T')) << ", \"size_kb\": " << row.SizeKB
                << ", \"location\": " << JsonString(row.Folder) << '}';
        } else {
            out << Printable(row.Name) << '\t' << row.Icons << '\t' << DosTimeText(row.Time) << '\t' << row.SizeKB
                << '\t' << Printable(row.Folder) << '\n';
        }
        first = false;
    });
    // A folder that cannot be entered is named, and the search goes on, as find does.
    finder.OnFolderError = [&](TFindFile&, const std::string& folder, int error) {
        err << "pictavo-cli search: "
            << Format(Tr("无法进入文件夹 \"%s\". %s"), Printable(folder).c_str(), SystemErrorText(error).c_str())
            << '\n';
        status = 1;
    };
    finder.Execute();
    const std::string counters = search.Counters().Text();
    if (json) {
        out << "]\n";
        err << counters << '\n';
    } else {
        out << counters << '\n';
    }
    return status;
}

int CmdCount(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("count", args, {}, {}, cl, err)) return 2;
    const std::vector<std::string>& files = cl.Files;
    if (files.empty()) {
        err << "pictavo-cli count: " << Tr("缺少文件") << '\n' << Usage();
        return 2;
    }
    int status = 0;
    for (const auto& path : files) {
        try {
            const int icons = CountFileIcons(path);
            out << icons << '\t' << Printable(path) << '\n';
        } catch (const std::exception& e) {
            status = 1;
            err << Printable(path) << ": " << Printable(e.what()) << '\n';
        }
    }
    return status;
}

int CmdThumbnail(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    TCommandLine cl;
    if (!ParseCommandLine("thumbnail", args, {}, {{"-s", "--size"}}, cl, err)) return 2;
    const std::vector<std::string>& files = cl.Files;
    const int size = ParseIndex(cl.Value("-s", "128"));
    if (files.size() != 2 || size < kMinThumbnailSize || size > kMaxThumbnailSize) {
        err << "pictavo-cli thumbnail: " << Tr("需要 文件 输出.png (-s 为 1 到 1024 的像素数)") << '\n' << Usage();
        return 2;
    }
    // Nothing but the input and the output is touched: no settings, no temporary file outside
    // the output's folder (the atomic write's own). The PNG is made whole before the output is
    // opened, so a file that cannot be drawn leaves no output at all.
    const std::string& input = files[0];
    const std::string& output = files[1];
    try {
        const auto path = LocalPathOfArgument(input);
        if (!path) throw EPictavoError(Message("只能读取本地文件 (file:// URI 或路径)"));
        const std::vector<uint8_t> png = WritePng(*MakeThumbnail(*path, size), TPngCompression::Fast);
        // A thumbnailer service may create the output empty and read the PNG back through the
        // descriptor it keeps open: an empty regular file is written in place, not renamed over,
        // or the service would read its own empty file. A new output, and one that holds an
        // earlier picture, is made atomically: a failed write (a full disk) keeps the old one,
        // and a reader sees the old picture or the new one, never an empty or partial file.
        if (!WriteFileInPlace(output, png)) WriteFileAtomically(output, png, TSaveTarget::FollowLinks);
    } catch (const std::exception& e) {
        err << Printable(input) << ": " << Printable(e.what()) << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << Usage();
        return 2;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << Usage();
        return 0;
    }
    if (command == "--version" || command == "-V") {
        out << "pictavo-cli " PICTAVO_VERSION "\n";
        return 0;
    }
    // A help request is an option: after "--" every argument is a file, "-h" too.
    for (const auto& a : rest) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            out << Usage();
            return 0;
        }
    }
    int status = 2;
    if (command == "list")
        status = CmdList(rest, out, err);
    else if (command == "extract")
        status = CmdExtract(rest, out, err);
    else if (command == "bmp")
        status = CmdBmp(rest, out, err);
    else if (command == "count")
        status = CmdCount(rest, out, err);
    else if (command == "icl")
        status = CmdIcl(rest, out, err);
    else if (command == "search")
        status = CmdSearch(rest, out, err);
    else if (command == "thumbnail")
        status = CmdThumbnail(rest, out, err);
    else
        err << "pictavo-cli: " << Format(Tr("未知命令 %s"), Printable(command).c_str()) << '\n' << Usage();
    // Output that did not reach its destination (a full disk, a closed pipe) is a failure.
    errno = 0;
    if (!out.flush()) {
        err << "pictavo-cli: " << Format(Tr("无法写入标准输出. %s"), SystemErrorText(errno ? errno : EIO).c_str())
            << '\n';
        return 1;
    }
    return status;
}

}  // namespace pictavo::cli
