#include "Localization/TQLocalization.h"

#include "Extensions/StringExtension.h"

#include <QAction>
#include <QMenu>

void localizeStrings(QAction* item) {
    if (!item)
        return;
    // A submenu's title is its item's title in Qt, so the submenu localizes both at once.
    if (QMenu* submenu = item->menu()) {
        localizeStrings(submenu);
        return;
    }
    rememberSourceText(item, item->text());
    item->setText(localized(item->text()));
}
