#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "app/ShellMessages.h"
#include "data/Document.h"

class QWidget;

namespace kurvex {

class COhmixGraphView;

// One opened result in the window: the core document, the messages it shows
// and the graph views that show it.
class CGraphDocument : public QObject {
    Q_OBJECT
public:
    explicit CGraphDocument(QObject* parent = nullptr);
    ~CGraphDocument() override;

    COhmixGraphDoc& Core() { return core_; }
    const COhmixGraphDoc& Core() const { return core_; }
    ShellMessages& Messages() { return messages_; }

    // Loads `path` on a worker behind a progress dialog; the reader's messages
    // are shown afterwards. False (and nothing kept) on failure or Cancel.
    bool Load(const QString& path, QWidget* dialogParent);
    // The primary file as an absolute path with links resolved.
    const QString& Path() const { return path_; }
    // The file name the windows are captioned with.
    QString Title() const;
    // True when the data set holds variables.
    bool HasData() const;

    // How a reload went.
    enum class ReloadOutcome {
        Skipped,    // a property dialog is open
        Cancelled,  // the user cancelled the reading: nothing changed
        Closed,     // the primary file could not be read: the document closed
        Reloaded,   // the views show the new data (views that lost their X closed)
    };
    // Reads the files again and re-binds every view; rescaling is the caller's.
    ReloadOutcome Reload(QWidget* dialogParent);
    // Merges `path` into the data set and shows it in every view; false when
    // nothing changed.
    bool Merge(const QString& path, QWidget* dialogParent);

    // Runs `work` (a save of what the views show) on a worker behind a
    // progress dialog without Cancel; its messages are shown afterwards.
    bool RunSave(QWidget* parent, const QString& label, const std::function<bool()>& work);

    // The number of the next point table of this document: 1, 2, ...
    int NextTableNumber() { return ++tables_; }

    // The views showing this document, in the order they were made.
    const std::vector<COhmixGraphView*>& Views() const { return views_; }
    void AddView(COhmixGraphView* view);
    void RemoveView(COhmixGraphView* view);
    // Closes every view (and with the last one the document).
    void CloseAllViews();

signals:
    // The last view went away: the document is to be deleted.
    void lastViewClosed(CGraphDocument* document);
    // A view went away and others remain.
    void viewClosed(CGraphDocument* document);

private:
    // Runs `work` on the core document on a worker behind a progress dialog.
    bool RunOnWorker(QWidget* parent, const QString& label,
                     const std::function<bool(LoadOptions&)>& work, bool* cancelled);

    ShellMessages messages_;
    COhmixGraphDoc core_;
    QString path_;
    std::vector<COhmixGraphView*> views_;
    int tables_ = 0;
};

}  // namespace kurvex
