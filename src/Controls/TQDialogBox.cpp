#include "Controls/TQDialogBox.h"

#include "Controls/TQAppearance.h"
#include "Controls/TQImageView.h"
#include "Controls/TQLayoutLoader.h"
#include "Controls/ViewExtension.h"
#include "Localization/TQLocalization.h"
#include "Platform/Log.h"

#include <QKeySequence>
#include <QShortcut>

namespace {

constexpr int modalResponseOK = 1;
const QString layoutName = QStringLiteral("TQDialogBox");

struct ButtonStyle {
    QString layer;
    QString title;
    QString alternateTitle;
};

QString rgb(const QColor& color) {
    return color.name().toUpper();
}

// The first is the accent button; the others must still read as buttons one can press.
ButtonStyle firstStyle() {
    return {
        QStringLiteral("background-color: %1; border: none;").arg(rgb(TQAppearance::accentColor())),
        QStringLiteral("#FFFFFF"), QStringLiteral("#C0C0C0")};
}

ButtonStyle secondStyle() {
    return {QStringLiteral("background-color: transparent; border: 1px solid #C4C4C4;"),
            QStringLiteral("#4B4B4B"), QStringLiteral("#A0A0A4")};
}

ButtonStyle thirdStyle() {
    return {QStringLiteral("background-color: #EAEEFF; border: none;"),
            rgb(TQAppearance::accentTextColor()), QStringLiteral("#B0BDFF")};
}

// The layer part of a button's style: its corner radius, background and border.
void styleLayer(QPushButton* button, const ButtonStyle& style) {
    if (!button)
        return;
    button->setStyleSheet(
        QStringLiteral("QPushButton { border-radius: 3px; %1 }").arg(style.layer));
}

// A styled title: centred, the system font at 14 points, the title colour, and the alternate
// colour while the button is held down. Screen readers get the title without its padding.
void styleTitle(QPushButton* button, const ButtonStyle& style, const QString& title) {
    if (!button)
        return;
    button->setText(title);
    button->setAccessibleName(title.trimmed());
    button->setFont(TQAppearance::font(14));
    button->setStyleSheet(
        QStringLiteral("QPushButton { border-radius: 3px; %1 color: %2; padding: 4px 8px; "
                       "text-align: center; } QPushButton:pressed { color: %3; }")
            .arg(style.layer, style.title, style.alternateTitle));
    // The layout's minimum would otherwise win over a long title.
    button->ensurePolished();
    button->setMinimumSize(button->minimumSize().expandedTo(button->sizeHint()));
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
    addKeyboardAnswers();
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
    styleLayer(_firstButton, firstStyle());
    styleLayer(_secondButton, secondStyle());
    styleLayer(_thirdButton, thirdStyle());
    localizeString();
    setAlertStyle(AlertStyle::Informational);
}

void TQDialogBox::addKeyboardAnswers() {
    if (!_view)
        return;
    const auto answer = [this](const QKeySequence& key, auto press) {
        new QShortcut(key, _view, press);
    };
    const auto pressFirst = [this] {
        if (_firstButton && _firstButton->isVisibleTo(_view))
            _firstButton->click();
    };
    answer(QKeySequence(Qt::Key_Return), pressFirst);
    answer(QKeySequence(Qt::Key_Enter), pressFirst);
    answer(QKeySequence(Qt::Key_Escape), [this] {
        if (QPushButton* last = lastShownButton())
            last->click();
    });
}

// The buttons stand third, second, first from left to right; the last added is leftmost.
QPushButton* TQDialogBox::lastShownButton() const {
    for (QPushButton* button : {_thirdButton.data(), _secondButton.data(), _firstButton.data()})
        if (button && button->isVisibleTo(_view))
            return button;
    return nullptr;
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
    if (_view) {
        _view->setWindowTitle(title);
        _view->setAccessibleName(title);
    }
    if (_titleLabel)
        _titleLabel->setText(title);
}

void TQDialogBox::setMessage(const QString& message) {
    _message = message;
    if (_view)
        _view->setAccessibleDescription(message);
    if (_messageLabel)
        _messageLabel->setText(message);
}

void TQDialogBox::setAlertStyle(AlertStyle style) {
    if (!_iconImageView)
        return;
    const bool warning = style == AlertStyle::Warning;
    if (warning)
        _iconImageView->setImageName(QStringLiteral("images/warningIcon.png"));
    _iconImageView->setAccessibleName(
        localized(warning ? QStringLiteral("Warning") : QStringLiteral("Information")));
}

void TQDialogBox::setFirstButtonTitle(const QString& title) {
    styleTitle(_firstButton, firstStyle(), title);
}

void TQDialogBox::setSecondButtonTitle(const QString& title) {
    styleTitle(_secondButton, secondStyle(), title);
}

void TQDialogBox::setThirdButtonTitle(const QString& title) {
    styleTitle(_thirdButton, thirdStyle(), title);
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
    // As wide as the buttons need and at least the layout's width; as high as the wrapped
    // texts need at that width. The buttons' style sheets count only once they are polished.
    _view->ensurePolished();
    const int width = std::max(_view->minimumWidth(), _view->minimumSizeHint().width());
    _view->resize(width, _view->hasHeightForWidth() ? _view->heightForWidth(width)
                                                    : _view->sizeHint().height());
    ::beginSheet(_view, window, nullptr);
    _sheetWindow = window;
    _strongSelf.reset(this);
    if (_firstButton && _firstButton->isVisibleTo(_view))
        _firstButton->setFocus();
}

void TQDialogBox::close() {
    dismiss(nullptr);
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
