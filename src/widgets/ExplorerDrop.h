// Files dropped from a file manager onto one control: the component makes its target accept
// drags that carry local files (text/uri-list), reads the names of a drop in the order given,
// keeps those it accepts (existing files; folders too when AllowFolders is set) and reports
// them with the drop point in the target's coordinates.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QDropEvent;

namespace pictavo {

class TExplorerDrop : public QObject {
    Q_OBJECT
public:
    explicit TExplorerDrop(QObject* parent = nullptr);
    ~TExplorerDrop() override;

    // The target accepts drops. Without a target, setting it does nothing and is not kept.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    // Pass dropped folders on; when false only names of existing files are passed on.
    bool AllowFolders = false;
    // The control that receives the drops. Setting one hooks it and enables the drops;
    // setting none unhooks the previous one and disables them. One target at a time.
    void SetDestinationControl(QWidget* control);

    // A drop arrives, before its names are read.
    std::function<void(TExplorerDrop& Sender)> OnBeginDrop;
    // The accepted names of a drop (valid until the next drop), their count and the drop
    // point in the target's coordinates.
    std::function<void(TExplorerDrop& Sender, const QStringList& Files, int FileCount, int x, int y)> OnDropped;
    // A dropped name was refused (a folder, or a name that no longer exists); no sender.
    std::function<void(TExplorerDrop* Sender, const QString& FileName)> OnFolderNotAllowed;

    // The accepted names of the last drop as text (for showing) and their number.
    const QStringList& Files() const { return FFiles; }
    int FileCount() const { return FFileCount; }
    // The same names as the bytes the file system knows them by: a name that is not UTF-8
    // (from an old archive) keeps its bytes here, while its text has replacement characters.
    const std::vector<std::string>& FileBytes() const { return FFileBytes; }

    // Handles a drop of these paths at `point` (target coordinates), as a drop from a file
    // manager is handled.
    void Drop(const std::vector<std::string>& paths, const QPoint& point);
    void Drop(const QStringList& names, const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The widgets that receive the drag events of the target: itself and, for a scroll
    // area, its viewport.
    QList<QWidget*> Receivers() const;
    // The local paths a drop carries, as bytes: its text/uri-list read as it was sent (file
    // URIs percent-decoded byte by byte), so that no name is lost to a text conversion.
    static std::vector<std::string> LocalPaths(const QDropEvent& event);

    bool FEnabled = false;
    QPointer<QWidget> FTarget;
    QStringList FFiles;
    std::vector<std::string> FFileBytes;
    int FFileCount = 0;
};

}  // namespace pictavo
