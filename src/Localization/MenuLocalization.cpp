#include "Localization/TQLocalization.h"

#include "Extensions/StringExtension.h"

#include <QMenu>
#include <QMenuBar>

void localizeStrings(QMenuBar* menu) {
    if (!menu)
        return;
    for (QAction* item : menu->actions())
        localizeStrings(item);
}

void localizeStrings(QMenu* menu) {
    if (!menu)
        return;
    rememberSourceText(menu->menuAction(), menu->title());
    menu->setTitle(localized(menu->title()));
    for (QAction* item : menu->actions())
        localizeStrings(item);
}
