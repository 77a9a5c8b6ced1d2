#include "Controls/ViewExtension.h"

#include "Controls/TQMaskWindow.h"
#include "Controls/TQSheetOverlay.h"

#include <QMainWindow>

namespace {

constexpr double fadeSeconds = 0.3;

// The overlay is the last one laid over the content: the one on top.
TQSheetOverlay* topOverlay(QWidget* content) {
    const QObjectList& children = content->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it)
        if (auto* overlay = qobject_cast<TQSheetOverlay*>(*it))
            return overlay;
    return nullptr;
}

} // namespace

QWidget* contentView(QWidget* window) {
    auto* mainWindow = qobject_cast<QMainWindow*>(window);
    return mainWindow && mainWindow->centralWidget() ? mainWindow->centralWidget() : window;
}

void beginSheet(QWidget* view, QWidget* parent, std::function<void(int returnCode)> handler) {
    auto* sheet = new TQMaskWindow(view->size(), parent);
    sheet->setHasShadow(true);
    sheet->setWindowTitle(view->windowTitle());
    view->setParent(sheet);
    view->move(0, 0);
    view->show();

    auto* overlay = new TQSheetOverlay(contentView(parent));
    overlay->setAlphaValue(0.0);
    overlay->show();
    overlay->raise();
    overlay->animateAlphaValue(1.0, fadeSeconds, nullptr);

    sheet->completionHandler = std::move(handler);
    sheet->show();
    sheet->activateWindow();
}

void endSheet(QWidget* view, QWidget* parent, int returnCode) {
    auto* sheet = qobject_cast<TQMaskWindow*>(view->window());
    if (TQSheetOverlay* overlay = topOverlay(contentView(parent)))
        overlay->animateAlphaValue(0.0, fadeSeconds, [overlay] { overlay->deleteLater(); });
    if (!sheet)
        return;
    const std::function<void(int)> handler = std::move(sheet->completionHandler);
    sheet->completionHandler = nullptr;
    sheet->hide();
    sheet->deleteLater();
    if (handler)
        handler(returnCode);
}
