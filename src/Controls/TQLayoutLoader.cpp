#include "Controls/TQLayoutLoader.h"

#include "Controls/TQAppearance.h"
#include "Controls/TQButton.h"
#include "Controls/TQImageView.h"
#include "Platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TQLayoutLoader::TQLayoutLoader(QObject* parent) : QUiLoader(parent) {
    setTranslationEnabled(false);
}

QString TQLayoutLoader::layoutPath(const QString& name) {
    return Platform::Bundle::main().resourcePath() + QLatin1Char('/') + name +
           QStringLiteral(".ui");
}

QWidget* TQLayoutLoader::loadLayout(const QString& name, QWidget* parent, QString* error) {
    QFile file(layoutPath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("The layout %1 cannot be read: %2")
                         .arg(file.fileName(), file.errorString());
        return nullptr;
    }
    TQLayoutLoader loader;
    loader.setWorkingDirectory(QFileInfo(file).absoluteDir());
    QWidget* widget = loader.load(&file, parent);
    if (!widget && error)
        *error = QStringLiteral("The layout %1 cannot be loaded: %2")
                     .arg(file.fileName(), loader.errorString());
    TQAppearance::scaleFonts(widget);
    return widget;
}

QWidget* TQLayoutLoader::createWidget(const QString& className, QWidget* parent,
                                      const QString& name) {
    QWidget* widget = nullptr;
    if (className == QLatin1String("TQImageView"))
        widget = new TQImageView(parent);
    else if (className == QLatin1String("TQButton"))
        widget = new TQButton(parent);
    else
        return QUiLoader::createWidget(className, parent, name);
    widget->setObjectName(name);
    return widget;
}
