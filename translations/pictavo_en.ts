<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Pictavo</name>
    <message>
        <source>用法: pictavo [选项] [文件夹]

浏览文件夹中含有图标的文件 (.ico、可执行文件、DLL、图标库), 查看、保存和收集其中的图标.

  文件夹          启动时选定并列出的文件夹; 给出文件时列出其所在的文件夹,
                  选定该文件并查看其中的图标
  -h, --help      显示本说明
  -V, --version   显示版本 (-v 亦可)

也可使用窗口平台的选项, 如 -platform 名称.
</source>
        <translation>Usage: pictavo [option] [folder]

Browses the files of a folder that hold icons (.ico, executables, DLLs, icon libraries),
to view, save and collect their icons.

  folder          the folder to select and list at start; for a file, its folder is
                  listed, and the file selected with its icons on view
  -h, --help      show this help
  -V, --version   show the version (-v works too)

The window platform&apos;s options work too, such as -platform NAME.
</translation>
    </message>
    <message>
        <source>没有可用的图形显示 (未设置 DISPLAY 或 WAYLAND_DISPLAY)</source>
        <translation>No display available (neither DISPLAY nor WAYLAND_DISPLAY is set)</translation>
    </message>
    <message>
        <source>未知选项 </source>
        <translation>Unknown option </translation>
    </message>
    <message>
        <source>只能指定一个文件夹</source>
        <translation>Only one folder can be given</translation>
    </message>
    <message>
        <source>找不到文件夹 </source>
        <translation>Folder not found: </translation>
    </message>
</context>
<context>
    <name>TCommandRunner</name>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
</context>
<context>
    <name>TFileListing</name>
    <message>
        <source>正在搜索文件...</source>
        <translation>Searching for files...</translation>
    </message>
</context>
<context>
    <name>TFoundFilesModel</name>
    <message>
        <source>文件名称    </source>
        <translation>Name        </translation>
    </message>
    <message>
        <source>图标   </source>
        <translation>Icons   </translation>
    </message>
    <message>
        <source>修改时间    </source>
        <translation>Modified    </translation>
    </message>
    <message>
        <source>大小 [KB]  </source>
        <translation>Size [KB]  </translation>
    </message>
    <message>
        <source>位置      </source>
        <translation>Folder      </translation>
    </message>
</context>
<context>
    <name>TIconListModel</name>
    <message>
        <source>图像数量: %1</source>
        <translation>Images: %1</translation>
    </message>
</context>
<context>
    <name>TSaveCommands</name>
    <message>
        <source>所有文件 (*)</source>
        <translation>All Files (*)</translation>
    </message>
    <message>
        <source>保存图标库</source>
        <translation>Save Library</translation>
    </message>
    <message>
        <source>图标库 (*.icl)</source>
        <translation>Icon Libraries (*.icl)</translation>
    </message>
    <message>
        <source>保存为图标</source>
        <translation>Save as Icon</translation>
    </message>
    <message>
        <source>图标 (*.ico)</source>
        <translation>Icons (*.ico)</translation>
    </message>
    <message>
        <source>保存为位图</source>
        <translation>Save as Bitmap</translation>
    </message>
    <message>
        <source>位图 (*.bmp)</source>
        <translation>Bitmaps (*.bmp)</translation>
    </message>
    <message>
        <source>选择目标</source>
        <translation>Choose Folder</translation>
    </message>
    <message>
        <source>%1 已存在。
要替换它吗?</source>
        <translation>%1 already exists.
Do you want to replace it?</translation>
    </message>
    <message>
        <source>正在保存图标到 %1...</source>
        <translation>Saving icons to %1...</translation>
    </message>
</context>
<context>
    <name>Tdlg_pv_Color</name>
    <message>
        <source>选择背景颜色</source>
        <translation>Background Colour</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>背景颜色:</source>
        <translation>Background:</translation>
    </message>
    <message>
        <source>光标颜色: %1</source>
        <translation>Colour under cursor: %1</translation>
    </message>
</context>
<context>
    <name>Twnd_pv_About</name>
    <message>
        <source>, 内核 </source>
        <translation>, kernel </translation>
    </message>
    <message>
        <source>关于 </source>
        <translation>About </translation>
    </message>
    <message>
        <source>版本 </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>操作系统:</source>
        <translation>Operating system:</translation>
    </message>
    <message>
        <source>处理器:</source>
        <translation>Processor:</translation>
    </message>
    <message>
        <source>内存:</source>
        <translation>Memory:</translation>
    </message>
    <message>
        <source> 由 Pictavo 开发者编写.
使用的程序库: Qt (窗口界面), libpng (PNG 图像), zlib (数据压缩).
感谢它们的作者.</source>
        <translation> is written by the Pictavo developers.
Libraries used: Qt (window), libpng (PNG images), zlib (compression).
Thanks to their authors.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Twnd_pv_Main</name>
    <message>
        <source>右键单击打开菜单</source>
        <translation>Right-click to open the menu</translation>
    </message>
    <message numerus="yes">
        <source> 当前查看 - %1 个图标 </source>
        <translation>
            <numerusform> Current File - %1 Icon </numerusform>
            <numerusform> Current File - %1 Icons </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source> 图标库 - %1 个图标 </source>
        <translation>
            <numerusform> Library - %1 Icon </numerusform>
            <numerusform> Library - %1 Icons </numerusform>
        </translation>
    </message>
    <message>
        <source>右键单击菜单</source>
        <translation>Right-click for the menu</translation>
    </message>
    <message>
        <source> 当前查看 </source>
        <translation> Current File </translation>
    </message>
    <message>
        <source> 图标库 </source>
        <translation> Library </translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>新建图标库</source>
        <translation>New Library</translation>
    </message>
    <message>
        <source>保存图标库...</source>
        <translation>Save Library...</translation>
    </message>
    <message>
        <source>搜索...</source>
        <translation>Search...</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>添加文件到图标库</source>
        <translation>Add Files to Library</translation>
    </message>
    <message>
        <source>添加图标到图标库</source>
        <translation>Add Icons to Library</translation>
    </message>
    <message>
        <source>从图标库移除图标</source>
        <translation>Remove Icons from Library</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>添加到图标库</source>
        <translation>Add to Library</translation>
    </message>
    <message>
        <source>选定对象</source>
        <translation>Selected</translation>
    </message>
    <message>
        <source>所有对象</source>
        <translation>All</translation>
    </message>
    <message>
        <source>保存为图标</source>
        <translation>Save as Icon</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>图标</source>
        <translation>Icons</translation>
    </message>
    <message>
        <source>平铺</source>
        <translation>Tiles</translation>
    </message>
    <message>
        <source>保存为图标...</source>
        <translation>Save as Icon...</translation>
    </message>
    <message>
        <source>保存为位图...</source>
        <translation>Save as Bitmap...</translation>
    </message>
    <message>
        <source>移除选定对象</source>
        <translation>Remove Selected</translation>
    </message>
    <message>
        <source>清空图标库</source>
        <translation>Empty Library</translation>
    </message>
    <message>
        <source>正在检索图标...</source>
        <translation>Reading icons...</translation>
    </message>
    <message>
        <source>就绪 (%1 秒)</source>
        <translation>Ready (%1 s)</translation>
    </message>
    <message>
        <source>添加文件到图标库...</source>
        <translation>Adding files to the library...</translation>
    </message>
    <message>
        <source>添加图标到图标库...</source>
        <translation>Adding icons to the library...</translation>
    </message>
    <message>
        <source>正在移除图标...</source>
        <translation>Removing icons...</translation>
    </message>
    <message>
        <source>正在清空图标库...</source>
        <translation>Emptying the library...</translation>
    </message>
    <message>
        <source>正在保存图标库...</source>
        <translation>Saving the library...</translation>
    </message>
</context>
<context>
    <name>Twnd_pv_Search</name>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>文件类型:</source>
        <translation>File type:</translation>
    </message>
    <message>
        <source>包含子目录</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>忽略重复的文件</source>
        <translation>Skip duplicate files</translation>
    </message>
    <message>
        <source>清除先前选定的对象</source>
        <translation>Clear the previous results</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
</context>
</TS>
