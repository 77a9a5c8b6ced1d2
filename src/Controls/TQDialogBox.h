#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// The installer's own three-button dialog, shown as a sheet on a window. It keeps itself
// alive while shown and frees itself after a button press; its creator keeps no reference.
class TQDialogBox {
public:
    TQDialogBox();
    ~TQDialogBox();

    void setTitle(const QString& title);
    void setMessage(const QString& message);
    // Fills the first free button; a fourth action is ignored.
    void addAction(const QString& title, const QString& keyEquivalent,
                   std::function<void()> callback);
    void beginSheet(QWidget* window);
};
