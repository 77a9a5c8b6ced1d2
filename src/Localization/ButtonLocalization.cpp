#include "Localization/TQLocalization.h"

#include "Extensions/StringExtension.h"

#include <QAbstractButton>

void localizeStrings(QAbstractButton* button) {
    if (!button)
        return;
    button->setToolTip(localized(button->toolTip()));
    if (!button->text().isEmpty())
        button->setText(localized(button->text()));
}
