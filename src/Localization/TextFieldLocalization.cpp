#include "Localization/TQLocalization.h"

#include "Extensions/StringExtension.h"

#include <QLabel>
#include <QLineEdit>

void localizeStrings(QLabel* field) {
    if (!field)
        return;
    field->setText(localized(field->text()));
}

void localizeStrings(QLineEdit* field) {
    if (!field)
        return;
    field->setText(localized(field->text()));
    field->setPlaceholderText(localized(field->placeholderText()));
}
