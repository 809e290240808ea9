// Program entry of the window.
//
// The command line is read before the window application starts: --help and --version work
// where there is no display at all, and a start without a display ends with a message instead
// of the window platform's abort.
#include "app/Main.h"
#include "app/ProgramIcon.h"
#include "app/WindowLanguage.h"
#include "widgets/UiFonts.h"
#include "widgets/UiStyle.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const char* const kUsage = QT_TRANSLATE_NOOP(
    "Pictavo", "用法: pictavo [选项] [文件夹]\n"
               "\n"
               "浏览文件夹中含有图标的文件 (.ico、可执行文件、DLL、图标库), 查看、保存和收集其中的图标.\n"
               "\n"
               "  文件夹          启动时选定并列出的文件夹; 给出文件时列出其所在的文件夹,\n"
               "                  选定该文件并查看其中的图标\n"
               "  -h, --help      显示本说明\n"
               "  -V, --version   显示版本 (-v 亦可)\n"
               "\n"
               "也可使用窗口平台的选项, 如 -platform 名称.\n");

// Exit status of a command line the program cannot use (as pictavo-cli's).
constexpr int kUsageError = 2;

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    QStringList UnknownOptions;
    QStringList Files;
};

QStringList ArgumentList(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

// The bytes of the argument that reads as `text` (the arguments the window platform took are
// gone from argv by now); the text's own encoding when none does.
std::string ArgumentBytes(int argc, char** argv, const QString& text) {
    for (int i = 1; i < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == text) return argv[i];
    return QFile::encodeName(text).toStdString();
}

TCommandLine ReadCommandLine(const QStringList& args) {
    QCommandLineParser parser;
    // "-reverse" is one option of the window platform, not the letters r, e, v, ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    // -V as pictavo-cli spells it; -v, the spelling of earlier versions, still works.
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("folder"), QString(), QStringLiteral("[folder]"));
    parser.parse(args);  // what it cannot use is in unknownOptionNames()
    TCommandLine line;
    line.Help = parser.isSet(help);
    line.Version = parser.isSet(version);
    line.UnknownOptions = parser.unknownOptionNames();
    line.Files = parser.positionalArguments();
    return line;
}

// Whether the window platform has something to show windows on: a display server named in
// the environment, or a platform chosen by QT_QPA_PLATFORM or -platform.
bool DisplayAvailable(const QStringList& args) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name)) return true;
    return args.contains(QStringLiteral("-platform")) || args.contains(QStringLiteral("--platform"));
}

// An option as it is spelt on the command line ("-V", "--version").
QString OptionText(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// A text of the program's own in the user's language.
QString Text(const char* source) { return WindowText("Pictavo", source); }

void PrintText(const char* source, FILE* stream) { std::fputs(Text(source).toUtf8().constData(), stream); }

void PrintError(const QString& message) { std::fputs(("pictavo: " + message + u'\n').toUtf8().constData(), stderr); }

}  // namespace

int main(int argc, char** argv) {
    {
        // The window platform's own options are still among the arguments here; they are not
        // told apart from unknown ones until the application has taken them out.
        const QStringList args = ArgumentList(argc, argv);
        const TCommandLine line = ReadCommandLine(args);
        if (line.Help) {
            PrintText(kUsage, stdout);
            return 0;
        }
        if (line.Version) {
            std::fputs("pictavo " PICTAVO_VERSION "\n", stdout);
            return 0;
        }
        if (!DisplayAvailable(args)) {
            PrintError(Text(QT_TRANSLATE_NOOP("Pictavo", "没有可用的图形显示 (未设置 DISPLAY 或 WAYLAND_DISPLAY)")));
            return 1;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kProgramName));
    QApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pictavo.Pictavo"));
    QApplication::setApplicationVersion(QStringLiteral(PICTAVO_VERSION));
    // The window speaks the user's language, as the core's messages it shows do: Chinese, and
    // so do Qt's own dialogs (file choosers, message boxes), or English.
    InitWindowLanguage();

    const TCommandLine line = ReadCommandLine(QApplication::arguments());
    if (!line.UnknownOptions.isEmpty()) {
        PrintError(Text(QT_TRANSLATE_NOOP("Pictavo", "未知选项 ")) + OptionText(line.UnknownOptions.first()));
        PrintText(kUsage, stderr);
        return kUsageError;
    }
    if (line.Files.size() > 1) {
        PrintError(Text(QT_TRANSLATE_NOOP("Pictavo", "只能指定一个文件夹")));
        PrintText(kUsage, stderr);
        return kUsageError;
    }
    QString startFolder, startFile;
    if (!line.Files.isEmpty()) {
        // The name's own bytes, not its text: a file named in another code page (bytes that
        // are not UTF-8, as "Open with" passes them from an old archive) must still be found.
        const std::string bytes = ArgumentBytes(argc, argv, line.Files.first());
        struct stat st {};
        if (::stat(bytes.c_str(), &st) != 0) {
            PrintError(Text(QT_TRANSLATE_NOOP("Pictavo", "找不到文件夹 ")) + line.Files.first());
            return 1;
        }
        const std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(bytes)).lexically_normal();
        if (S_ISDIR(st.st_mode)) {
            startFolder = QFile::decodeName(QByteArray::fromStdString(path.string()));
        } else {
            startFolder = QFile::decodeName(QByteArray::fromStdString(path.parent_path().string()));
            startFile = QFile::decodeName(QByteArray::fromStdString(path.filename().string()));
        }
    }

    QApplication::setStyle(new pictavo::TUiStyle);
    QApplication::setFont(pictavo::FormFont());
    Twnd_pv_Main window;
    if (!startFolder.isEmpty()) window.SetStartFolder(startFolder);
    if (!startFile.isEmpty()) window.SetStartFile(startFile);
    window.show();
    return QApplication::exec();
}
