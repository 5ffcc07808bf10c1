#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <map>

#include "interaction/CommandTable.h"

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace kurvex {

// The command table made into Qt actions: one QAction per command, the menus,
// tool bars and pop-up menus built from the table's lists, and every action's
// enabled and checked state set from the table's rules, never by hand.
class CommandActions : public QObject {
    Q_OBJECT
public:
    // Actions owned by `owner` (the main frame, so their shortcuts work everywhere).
    explicit CommandActions(QWidget* owner);

    // The action of a command, or null.
    QAction* Action(int id) const;
    // The actions of the recent files, in list order.
    const QList<QAction*>& RecentFileActions() const { return recent_; }

    // Builds a menu bar's menus from `items`; the menus belong to `owner`.
    QList<QMenu*> BuildMenus(const std::vector<MenuItem>& items, QWidget* owner);
    // A pop-up menu of `items` (the caller owns it).
    QMenu* BuildPopup(const std::vector<MenuItem>& items, QWidget* parent);
    // Fills a tool bar with its buttons; `special` makes the widget that stands
    // in for a button (the curve list) and may return null.
    void FillToolBar(QToolBar* bar, CommandBar which,
                     const std::function<QWidget*(int id)>& special);

    // Shows the recent files (at most kRecentFileCount).
    void SetRecentFiles(const QStringList& paths);
    // Sets every action's state from the rules.
    void Refresh(const CommandContext& context);
    // Sets the icon of every action that has one among the resources.
    void LoadIcons();

signals:
    // A command was chosen (from any menu, button or shortcut).
    void triggered(int id);
    // A recent file was chosen.
    void recentFileChosen(const QString& path);
    // The window menu's list is about to show.
    void windowListWanted(QMenu* menu, QAction* before);

private:
    std::map<int, QAction*> actions_;
    QList<QAction*> recent_;
};

}  // namespace kurvex
