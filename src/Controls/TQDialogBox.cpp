#include "Controls/TQDialogBox.h"

#include "Controls/TQImageView.h"
#include "Controls/TQLayoutLoader.h"
#include "Controls/ViewExtension.h"
#include "Localization/TQLocalization.h"
#include "Platform/Log.h"

#include <QKeySequence>

namespace {

constexpr int modalResponseOK = 1;
const QString layoutName = QStringLiteral("TQDialogBox");

struct ButtonStyle {
    QString layer;
    QString title;
    QString alternateTitle;
};

const ButtonStyle firstStyle{QStringLiteral("background-color: #4E69FF; border: none;"),
                             QStringLiteral("#FFFFFF"), QStringLiteral("#C0C0C0")};
const ButtonStyle secondStyle{
    QStringLiteral("background-color: transparent; border: 1px solid #ECECEC;"),
    QStringLiteral("#4B4B4B"), QStringLiteral("#A0A0A4")};
const ButtonStyle thirdStyle{QStringLiteral("background-color: #EAEEFF; border: none;"),
                             QStringLiteral("#6279FE"), QStringLiteral("#B0BDFF")};

// The layer part of a button's style: its corner radius, background and border.
void styleLayer(QPushButton* button, const ButtonStyle& style) {
    if (!button)
        return;
    button->setStyleSheet(
        QStringLiteral("QPushButton { border-radius: 3px; %1 }").arg(style.layer));
}

// A styled title: centred, the system font at 14 points, the title colour, and the alternate
// colour while the button is held down.
void styleTitle(QPushButton* button, const ButtonStyle& style, const QString& title) {
    if (!button)
        return;
    button->setText(title);
    button->setStyleSheet(
        QStringLiteral("QPushButton { border-radius: 3px; %1 font-size: 14pt; color: %2; "
                       "text-align: center; } QPushButton:pressed { color: %3; }")
            .arg(style.layer, style.title, style.alternateTitle));
}

} // namespace

TQDialogBox::TQDialogBox() {
    QString error;
    if (!loadView(&error))
        Platform::Log::write(error);
    if (_firstButton)
        connect(_firstButton, &QPushButton::clicked, this, &TQDialogBox::clickFirstButton);
    if (_secondButton)
        connect(_secondButton, &QPushButton::clicked, this, &TQDialogBox::clickSecondButton);
    if (_thirdButton)
        connect(_thirdButton, &QPushButton::clicked, this, &TQDialogBox::clickThirdButton);
    awakeFromNib();
}

bool TQDialogBox::checkLayout(QString* error) {
    TQDialogBox probe{Unloaded{}};
    return probe.loadView(error);
}

bool TQDialogBox::loadView(QString* error) {
    _view = TQLayoutLoader::loadLayout(layoutName, nullptr, error);
    if (!_view)
        return false;
    QStringList missing;
    _iconImageView = findOutlet<TQImageView>(_view, QStringLiteral("iconImageView"), missing);
    _titleLabel = findOutlet<QLabel>(_view, QStringLiteral("titleLabel"), missing);
    _messageLabel = findOutlet<QLabel>(_view, QStringLiteral("messageLabel"), missing);
    _firstButton = findOutlet<QPushButton>(_view, QStringLiteral("firstButton"), missing);
    _secondButton = findOutlet<QPushButton>(_view, QStringLiteral("secondButton"), missing);
    _thirdButton = findOutlet<QPushButton>(_view, QStringLiteral("thirdButton"), missing);
    if (missing.isEmpty())
        return true;
    if (error)
        *error =
            QStringLiteral("The layout %1 lacks the outlets %2")
                .arg(TQLayoutLoader::layoutPath(layoutName), missing.join(QStringLiteral(", ")));
    return false;
}

TQDialogBox::~TQDialogBox() {
    // Once shown, the view belongs to the sheet window, which frees it.
    if (_view && !_view->parent())
        delete _view;
}

void TQDialogBox::awakeFromNib() {
    styleLayer(_firstButton, firstStyle);
    styleLayer(_secondButton, secondStyle);
    styleLayer(_thirdButton, thirdStyle);
    localizeString();
}

void TQDialogBox::localizeString() {
    localizeStrings(_firstButton.data());
    localizeStrings(_secondButton.data());
    localizeStrings(_thirdButton.data());
    localizeStrings(_titleLabel.data());
    localizeStrings(_messageLabel.data());
}

void TQDialogBox::setTitle(const QString& title) {
    _title = title;
    if (_view)
        _view->setWindowTitle(title);
    if (_titleLabel)
        _titleLabel->setText(title);
}

void TQDialogBox::setMessage(const QString& message) {
    _message = message;
    if (_messageLabel)
        _messageLabel->setText(message);
}

void TQDialogBox::setFirstButtonTitle(const QString& title) {
    styleTitle(_firstButton, firstStyle, title);
}

void TQDialogBox::setSecondButtonTitle(const QString& title) {
    styleTitle(_secondButton, secondStyle, title);
}

void TQDialogBox::setThirdButtonTitle(const QString& title) {
    styleTitle(_thirdButton, thirdStyle, title);
}

void TQDialogBox::addAction(const QString& title, const QString& keyEquivalent,
                            std::function<void()> callback) {
    const QString padded = title.isEmpty() ? title : QStringLiteral(" %1    ").arg(title);
    QPushButton* button = nullptr;
    if (!_firstHandle) {
        _firstHandle = std::move(callback);
        setFirstButtonTitle(padded);
        button = _firstButton;
    } else if (!_secondHandle) {
        _secondHandle = std::move(callback);
        setSecondButtonTitle(padded);
        button = _secondButton;
    } else if (!_thirdHandle) {
        _thirdHandle = std::move(callback);
        setThirdButtonTitle(padded);
        button = _thirdButton;
    }
    if (!button)
        return;
    button->setHidden(false);
    button->setShortcut(QKeySequence(keyEquivalent));
}

void TQDialogBox::beginSheet(QWidget* window) {
    if (!_view || !window) {
        Platform::Log::write(QStringLiteral("The dialog \"%1\" cannot be shown").arg(_title));
        delete this;
        return;
    }
    ::beginSheet(_view, window, nullptr);
    _sheetWindow = window;
    _strongSelf.reset(this);
}

void TQDialogBox::clickFirstButton() {
    dismiss(_firstHandle);
}

void TQDialogBox::clickSecondButton() {
    dismiss(_secondHandle);
}

void TQDialogBox::clickThirdButton() {
    dismiss(_thirdHandle);
}

void TQDialogBox::dismiss(const std::function<void()>& callback) {
    if (_view && _sheetWindow)
        endSheet(_view, _sheetWindow, modalResponseOK);
    if (callback)
        callback();
    // The last step: this frees the dialog when it was shown.
    _strongSelf.reset();
}
