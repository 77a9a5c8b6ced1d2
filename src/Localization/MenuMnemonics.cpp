#include "Localization/TQLocalization.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <algorithm>

namespace {

constexpr char sourceTextProperty[] = "tqSourceText";

bool isTypable(QChar c) {
    return c.unicode() < 0x80 && c.isLetterOrNumber();
}

// Where the text marks a mnemonic with a single "&" ("&&" is a literal "&"); -1 for none.
qsizetype mnemonicAt(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] != u'&')
            return i + 1;
        ++i;
    }
    return -1;
}

// The source's letters, the initials of its words first.
QString candidates(const QString& source) {
    QString initials;
    QString others;
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (!isTypable(source[i]))
            continue;
        const bool initial = i == 0 || !source[i - 1].isLetterOrNumber();
        (initial ? initials : others) += source[i].toLower();
    }
    return initials + others;
}

// A text in a script without Latin letters of its own, whose mnemonic goes after it.
bool isIdeographic(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        const QChar::Script script = c.script();
        return script == QChar::Script_Han || script == QChar::Script_Hiragana ||
               script == QChar::Script_Katakana || script == QChar::Script_Hangul;
    });
}

QString withMnemonic(const QString& text, const QString& source, QSet<QChar>& taken) {
    for (const QChar letter : candidates(source)) {
        if (taken.contains(letter))
            continue;
        taken.insert(letter);
        for (qsizetype i = 0; !isIdeographic(text) && i < text.size(); ++i) {
            if (text[i] == u'&' && i + 1 < text.size() && text[i + 1] == u'&')
                ++i;
            else if (text[i].toLower() == letter)
                return text.left(i) + QLatin1Char('&') + text.mid(i);
        }
        return text + QStringLiteral("(&") + letter.toUpper() + QLatin1Char(')');
    }
    return text;
}

// Each item of the list a mnemonic of its own; submenus get theirs in turn.
void addMnemonics(const QList<QAction*>& items) {
    QSet<QChar> taken;
    for (const QAction* item : items) {
        const qsizetype at = mnemonicAt(item->text());
        if (at >= 0)
            taken.insert(item->text()[at].toLower());
    }
    for (QAction* item : items) {
        if (item->isSeparator() || item->text().isEmpty() || mnemonicAt(item->text()) >= 0)
            continue;
        const QVariant source = item->property(sourceTextProperty);
        item->setText(
            withMnemonic(item->text(), source.isValid() ? source.toString() : item->text(), taken));
    }
    for (const QAction* item : items)
        if (item->menu())
            addMnemonics(item->menu()->actions());
}

} // namespace

void rememberSourceText(QAction* item, const QString& source) {
    if (item && !item->property(sourceTextProperty).isValid())
        item->setProperty(sourceTextProperty, source);
}

void addMnemonics(QMenuBar* menu) {
    if (menu)
        addMnemonics(menu->actions());
}
