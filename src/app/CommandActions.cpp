#include "app/CommandActions.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <vector>

namespace kurvex {

namespace {

// The menu text of a label: the shortcut text after the tab is left to Qt,
// which shows the action's shortcut itself.
QString MenuText(const char* label) {
    const QString text = QString::fromUtf8(label);
    const qsizetype tab = text.indexOf('\t');
    return tab < 0 ? text : text.left(tab);
}

}  // namespace

CommandActions::CommandActions(QWidget* owner) : QObject(owner) {
    for (const CommandInfo& cmd : Commands()) {
        if (cmd.byControl) continue;  // its own control answers it, not an action
        auto* a = new QAction(owner);
        a->setText(cmd.label ? MenuText(cmd.label) : QString::fromUtf8(cmd.toolTip));
        a->setStatusTip(QString::fromUtf8(cmd.prompt));
        a->setToolTip(QString::fromUtf8(*cmd.toolTip ? cmd.toolTip : cmd.prompt));
        a->setCheckable(IsCheckable(cmd));
        QList<QKeySequence> keys;
        for (const char* k : cmd.shortcuts)
            keys << QKeySequence::fromString(QString::fromLatin1(k), QKeySequence::PortableText);
        a->setShortcuts(keys);
        a->setData(cmd.id);
        owner->addAction(a);  // shortcuts of commands without a menu or button work too
        const int id = cmd.id;
        connect(a, &QAction::triggered, this, [this, id] { emit triggered(id); });
        actions_[cmd.id] = a;
    }
    for (int i = 0; i < kRecentFileCount; ++i) {
        auto* a = new QAction(owner);
        a->setStatusTip(QStringLiteral("Open this document"));
        a->setVisible(false);
        connect(a, &QAction::triggered, this,
                [this, a] { emit recentFileChosen(a->data().toString()); });
        recent_ << a;
    }
}

QAction* CommandActions::Action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QList<QMenu*> CommandActions::BuildMenus(const std::vector<MenuItem>& items, QWidget* owner) {
    QList<QMenu*> top;
    std::vector<QMenu*> open;
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItemKind::Submenu: {
                QMenu* m = open.empty() ? new QMenu(QString::fromUtf8(item.text), owner)
                                        : open.back()->addMenu(QString::fromUtf8(item.text));
                if (open.empty()) top << m;
                open.push_back(m);
                break;
            }
            case MenuItemKind::EndSubmenu:
                if (!open.empty()) open.pop_back();
                break;
            case MenuItemKind::Separator:
                if (!open.empty()) open.back()->addSeparator();
                break;
            case MenuItemKind::Command:
                if (QAction* a = Action(item.id); a && !open.empty()) {
                    if (item.text) {
                        // Another text in this place: an action of its own that
                        // runs the same command and follows the same state.
                        QAction* alias = open.back()->addAction(QString::fromUtf8(item.text));
                        alias->setStatusTip(a->statusTip());
                        alias->setEnabled(a->isEnabled());
                        connect(alias, &QAction::triggered, a, &QAction::trigger);
                        connect(a, &QAction::changed, alias,
                                [a, alias] { alias->setEnabled(a->isEnabled()); });
                    } else {
                        open.back()->addAction(a);
                    }
                }
                break;
            case MenuItemKind::RecentFiles:
                if (!open.empty()) open.back()->addActions(recent_);
                break;
            case MenuItemKind::WindowList:
                if (!open.empty()) {
                    QMenu* menu = open.back();
                    QAction* marker = menu->addSeparator();
                    marker->setVisible(false);
                    connect(menu, &QMenu::aboutToShow, this,
                            [this, menu, marker] { emit windowListWanted(menu, marker); });
                }
                break;
        }
    }
    return top;
}

QMenu* CommandActions::BuildPopup(const std::vector<MenuItem>& items, QWidget* parent) {
    std::vector<MenuItem> wrapped;
    wrapped.push_back({MenuItemKind::Submenu, 0, ""});
    wrapped.insert(wrapped.end(), items.begin(), items.end());
    wrapped.push_back({MenuItemKind::EndSubmenu, 0, nullptr});
    const QList<QMenu*> menus = BuildMenus(wrapped, parent);
    return menus.isEmpty() ? nullptr : menus.front();
}

void CommandActions::FillToolBar(QToolBar* bar, CommandBar which,
                                 const std::function<QWidget*(int id)>& special) {
    for (int id : ToolBarButtons(which)) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        if (QAction* a = Action(id)) {
            bar->addAction(a);
            if (QWidget* button = bar->widgetForAction(a))
                button->setAccessibleName(a->text().remove('&'));
        } else if (QWidget* w = special ? special(id) : nullptr) {
            bar->addWidget(w);
        }
    }
}

void CommandActions::SetRecentFiles(const QStringList& paths) {
    for (int i = 0; i < recent_.size(); ++i) {
        QAction* a = recent_[i];
        if (i < paths.size()) {
            a->setText(QString::fromStdString(RecentFileLabel(i, paths[i].toStdString())));
            a->setData(paths[i]);
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
}

void CommandActions::Refresh(const CommandContext& context) {
    for (const auto& [id, action] : actions_) {
        const CommandState s = EvaluateCommand(*FindCommand(id), context);
        if (action->isEnabled() != s.enabled) action->setEnabled(s.enabled);
        if (action->isCheckable() && action->isChecked() != s.checked)
            action->setChecked(s.checked);
    }
}

void CommandActions::LoadIcons() {
    for (const auto& [id, action] : actions_) {
        const QString path = QStringLiteral(":/icons/%1.svg").arg(id);
        if (QFile::exists(path)) action->setIcon(QIcon(path));
    }
}

}  // namespace kurvex
