#include "Controls/TQLayoutLoader.h"

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
    return widget;
}

QWidget* TQLayoutLoader::createWidget(const QString& className, QWidget* parent,
                                      const QString& name) {
    if (className != QLatin1String("TQImageView"))
        return QUiLoader::createWidget(className, parent, name);
    auto* view = new TQImageView(parent);
    view->setObjectName(name);
    return view;
}
