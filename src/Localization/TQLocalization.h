#pragma once

#include "Extensions/StringExtension.h"

#include <QString>
#include <QStringList>

class QAbstractButton;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;

// Localizes in place the texts a control got from its layout: each text is looked up as a
// key with localized() and replaced by what comes back. Main thread only.

// Menus: the menu's own title (a menu bar has none), then every item in order, which
// descends into submenus.
void localizeStrings(QMenuBar* menu);
void localizeStrings(QMenu* menu);
// Menu items: the title, then the submenu when there is one.
void localizeStrings(QAction* item);
// Text fields: the text, then the placeholder.
void localizeStrings(QLabel* field);
void localizeStrings(QLineEdit* field);
// Buttons: the tool tip, then the title. A button's pressed-state colour lives in its style
// sheet, so the title carries no attributes of its own to keep.
void localizeStrings(QAbstractButton* button);

// A text to appear as it is in a menu item's title, where a "&" marks a shortcut.
[[nodiscard]] QString literalMenuText(const QString& text);

// Gives every menu of the bar, and every item of each menu, a mnemonic that its siblings do
// not use: a letter of its source text (the English key it was localized from), initials
// first, marked where the shown text has it and appended as "(&X)" where it does not (a
// translation without Latin letters). Texts that already carry one keep it.
void addMnemonics(QMenuBar* menu);
// Records the text an item was localized from, for addMnemonics; the first one stays.
void rememberSourceText(QAction* item, const QString& source);
