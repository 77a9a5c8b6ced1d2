#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "Controls/TQImageView.h"

// The installer's own three-button dialog, shown as a sheet on a window. Create it with new;
// once beginSheet() has been called it keeps itself alive while shown and frees itself after
// a button press (or close()), so its creator keeps no reference. A dialog that is never
// shown is deleted by its creator. On the sheet, Return presses the first button and Escape
// the last one shown. Main thread only.
class TQDialogBox : public QObject {
    Q_OBJECT

public:
    // The icon beside the title: the layout's own, or a warning for errors.
    enum class AlertStyle { Informational, Warning };

    TQDialogBox();
    ~TQDialogBox() override;

    // Whether the dialog's layout loads and holds every outlet; otherwise false, with *error
    // naming the file and what is wrong. Checked at start, so that no failure meets a dialog
    // that cannot be shown.
    [[nodiscard]] static bool checkLayout(QString* error);

    void setTitle(const QString& title);
    void setMessage(const QString& message);
    void setAlertStyle(AlertStyle style);
    // Fills the first free button; a fourth action is ignored.
    void addAction(const QString& title, const QString& keyEquivalent,
                   std::function<void()> callback);
    // Sizes the dialog to its texts and shows it as a sheet on `window`.
    void beginSheet(QWidget* window);
    // Ends the sheet without calling any action; the dialog frees itself.
    void close();

    // --- Window side ---

    [[nodiscard]] QString title() const { return _title; }
    [[nodiscard]] QString message() const { return _message; }
    void setFirstButtonTitle(const QString& title);
    void setSecondButtonTitle(const QString& title);
    void setThirdButtonTitle(const QString& title);

    // The callback slots; an empty one is free.
    [[nodiscard]] std::function<void()> firstHandle() const { return _firstHandle; }
    [[nodiscard]] std::function<void()> secondHandle() const { return _secondHandle; }
    [[nodiscard]] std::function<void()> thirdHandle() const { return _thirdHandle; }
    void setFirstHandle(std::function<void()> handle) { _firstHandle = std::move(handle); }
    void setSecondHandle(std::function<void()> handle) { _secondHandle = std::move(handle); }
    void setThirdHandle(std::function<void()> handle) { _thirdHandle = std::move(handle); }

    // The dialog's view, loaded from the layout "TQDialogBox"; null when the layout could not
    // be loaded (the dialog then shows nothing and frees itself when shown).
    [[nodiscard]] QWidget* view() const { return _view; }
    [[nodiscard]] TQImageView* iconImageView() const { return _iconImageView; }
    [[nodiscard]] QLabel* titleLabel() const { return _titleLabel; }
    [[nodiscard]] QLabel* messageLabel() const { return _messageLabel; }
    [[nodiscard]] QPushButton* firstButton() const { return _firstButton; }
    [[nodiscard]] QPushButton* secondButton() const { return _secondButton; }
    [[nodiscard]] QPushButton* thirdButton() const { return _thirdButton; }

    void clickFirstButton();
    void clickSecondButton();
    void clickThirdButton();

private:
    struct Unloaded {};
    explicit TQDialogBox(Unloaded) {}

    // Loads the view and finds the outlets; false, with *error saying why, when either fails.
    bool loadView(QString* error);
    void awakeFromNib();
    void localizeString();
    void dismiss(const std::function<void()>& callback);
    // Return presses the first button, Escape the last one shown.
    void addKeyboardAnswers();
    [[nodiscard]] QPushButton* lastShownButton() const;

    QPointer<QWidget> _sheetWindow;
    std::unique_ptr<TQDialogBox> _strongSelf;
    QString _title;
    QString _message;
    std::function<void()> _firstHandle;
    std::function<void()> _secondHandle;
    std::function<void()> _thirdHandle;

    // Outlets, owned by the view.
    QPointer<QWidget> _view;
    QPointer<TQImageView> _iconImageView;
    QPointer<QLabel> _titleLabel;
    QPointer<QLabel> _messageLabel;
    QPointer<QPushButton> _firstButton;
    QPointer<QPushButton> _secondButton;
    QPointer<QPushButton> _thirdButton;
};
