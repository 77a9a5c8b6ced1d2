#pragma once

#include <QString>
#include <QStringList>
#include <QUiLoader>
#include <QWidget>

// Loads the layouts (.ui) of the installer bundle's Resources folder at run time. Texts come
// out exactly as the layout carries them (they are localization keys, localized in place by
// their owners), images are found beside the layout, and fonts grow with a large desktop
// font (TQAppearance::scaleFonts).
class TQLayoutLoader : public QUiLoader {
    Q_OBJECT

public:
    explicit TQLayoutLoader(QObject* parent = nullptr);

    // <Resources>/<name>.ui of the main bundle; null, with *error saying why, when it cannot be
    // loaded. The caller owns the result (or parent does, when given).
    [[nodiscard]] static QWidget* loadLayout(const QString& name, QWidget* parent, QString* error);
    // <Resources>/<name>.ui of the main bundle.
    [[nodiscard]] static QString layoutPath(const QString& name);

    QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                          const QString& name = QString()) override;
};

// The outlet named `name` under root (root itself included), or null after adding the name
// to `missing` when no object of that name and class is there.
template <class T> T* findOutlet(QObject* root, const QString& name, QStringList& missing) {
    T* found = root && root->objectName() == name ? qobject_cast<T*>(root) : nullptr;
    if (!found && root)
        found = root->findChild<T*>(name);
    if (!found)
        missing += name;
    return found;
}
