#include "TQWindowController.h"

#include "Branding.h"
#include "Controls/TQAppearance.h"
#include "Controls/TQDialogBox.h"
#include "Controls/TQLayoutLoader.h"
#include "Controls/TQWindowMover.h"
#include "Extensions/BundleExtension.h"
#include "Extensions/ColorExtension.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Localization/TQLocalization.h"
#include "Platform/Workspace.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QLayout>
#include <QLocale>
#include <QPalette>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <array>
#include <chrono>
#include <cmath>

namespace {

constexpr double minimumInterval = 0.1; // seconds between two shown progress updates
constexpr double minimumChange = 0.1;   // percentage points
// A Cancel gives the installation's work this long to end.
constexpr std::chrono::seconds stopBudget{2};

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The licence line's font: PingFang SC where the desktop has it, else a sans-serif face with
// Chinese glyphs, so a translated line never shows empty boxes.
const QStringList licenceFontFamilies{
    QStringLiteral("PingFangSC-Regular"),  QStringLiteral("PingFang SC"),
    QStringLiteral("Noto Sans CJK SC"),    QStringLiteral("Source Han Sans SC"),
    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback"),
    QStringLiteral("sans-serif")};

struct Link {
    qsizetype start = -1;
    qsizetype length = 0;
    QUrl url;
};

// Where `word` first occurs in `line`; none when it is missing or empty.
Link firstOccurrence(const QString& line, const QString& word, const QUrl& url) {
    if (word.isEmpty())
        return {};
    return {line.indexOf(word), word.size(), url};
}

// The links in the order they occur in the line; one that overlaps the other stays plain.
std::array<Link, 2> orderedLinks(Link first, Link second) {
    if (second.start >= 0 && second.start < first.start)
        std::swap(first, second);
    if (first.start >= 0 && second.start >= 0 && second.start < first.start + first.length)
        second.start = -1;
    return {first, second};
}

// The licence line: centred, in its font and colour, with the links over their words.
void writeLicenceLine(QTextDocument* document, const QString& line,
                      const std::array<Link, 2>& links, double points) {
    document->clear();
    QTextCursor cursor(document);
    QTextBlockFormat paragraph;
    paragraph.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(paragraph);
    QTextCharFormat text;
    text.setFontFamilies(licenceFontFamilies);
    text.setFontPointSize(points);
    text.setForeground(colorWithRGB(0x222222));
    qsizetype position = 0;
    for (const Link& link : links) {
        if (link.start < 0)
            continue;
        cursor.insertText(line.mid(position, link.start - position), text);
        QTextCharFormat anchor = text;
        anchor.setAnchor(true);
        anchor.setAnchorHref(link.url.toString());
        anchor.setFontUnderline(true);
        cursor.insertText(line.mid(link.start, link.length), anchor);
        position = link.start + link.length;
    }
    cursor.insertText(line.mid(position), text);
}

QString installButtonStyle() {
    return QStringLiteral("QPushButton { background-color: %1; border: none; border-radius: 3px; "
                          "color: #FFFFFF; padding: 4px 24px; text-align: center; } "
                          "QPushButton:pressed { color: %2; }")
        .arg(TQAppearance::accentColor().name(), QColor(Qt::lightGray).name());
}

QString progressBarStyle() {
    return QStringLiteral("QProgressBar { background-color: #EAEEFF; border: none; "
                          "border-radius: 4px; } "
                          "QProgressBar::chunk { background-color: %1; border-radius: 4px; }")
        .arg(TQAppearance::accentColor().name());
}

// "12.4 MB": three figures at most, in units of a thousand.
QString byteCount(double bytes) {
    static const std::array<const char*, 4> units{"B", "KB", "MB", "GB"};
    size_t unit = 0;
    while (bytes >= 999.5 && unit + 1 < units.size()) {
        bytes /= 1000;
        ++unit;
    }
    const int decimals = unit > 0 && bytes < 99.95 ? 1 : 0;
    return QLocale().toString(bytes, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString timeLeft(double seconds) {
    if (seconds < 60)
        return formatted(localized(QStringLiteral("%@ s left")),
                         {QString::number(std::max(1, int(std::ceil(seconds))))});
    return formatted(localized(QStringLiteral("%@ min left")),
                     {QString::number(int(std::ceil(seconds / 60)))});
}

QString detailText(const InstallationProgress& detail) {
    using Stage = InstallationProgress::Stage;
    if (detail.stage == Stage::Unpacking)
        return localized(QStringLiteral("Unpacking…"));
    if (detail.stage == Stage::Installing)
        return localized(QStringLiteral("Installing…"));
    QStringList parts;
    if (detail.bytesTotal > 0)
        parts << formatted(
            localized(QStringLiteral("%@ of %@")),
            {byteCount(double(detail.bytesDone)), byteCount(double(detail.bytesTotal))});
    else if (detail.bytesDone > 0)
        parts << byteCount(double(detail.bytesDone));
    if (detail.retrying)
        parts << localized(QStringLiteral("Retrying…"));
    if (!detail.retrying && detail.bytesPerSecond >= 0)
        parts << formatted(localized(QStringLiteral("%@/s")), {byteCount(detail.bytesPerSecond)});
    if (!detail.retrying && detail.secondsLeft >= 0)
        parts << timeLeft(detail.secondsLeft);
    return parts.join(QStringLiteral(" · "));
}

// The text view as high as its text needs at the least width the window gives it.
void fitHeightToText(QTextBrowser* view) {
    const QWidget* content = view->parentWidget();
    const QMargins outer =
        content && content->layout() ? content->layout()->contentsMargins() : QMargins();
    const QMargins inner = view->contentsMargins();
    const int width = (content ? content->minimumWidth() : view->width()) - outer.left() -
                      outer.right() - inner.left() - inner.right();
    QTextDocument* document = view->document();
    document->setTextWidth(width);
    view->setFixedHeight(int(std::ceil(document->size().height())) + inner.top() + inner.bottom());
}

// A document's plain text as one line, for screen readers.
QString plainLine(const QTextBrowser* view) {
    return view ? view->document()->toPlainText().simplified() : QString();
}

} // namespace

TQWindowController::TQWindowController(Installation& installation, QObject* parent)
    : QObject(parent), m_installation(installation), _clock(steadySeconds) {
    _trailingProgress.setSingleShot(true);
    connect(&_trailingProgress, &QTimer::timeout, this,
            [this] { updateProgress(_latestProgressValue); });
    m_installation.setView(this);
}

TQWindowController::~TQWindowController() {
    m_installation.detachView(this);
}

void TQWindowController::connectOutlets(QMainWindow* window, QStringList& missing) {
    _window = window;
    _logoImageView = findOutlet<TQImageView>(window, QStringLiteral("logoImageView"), missing);
    _iconImageView = findOutlet<TQImageView>(window, QStringLiteral("iconImageView"), missing);
    _titleLabel = findOutlet<QLabel>(window, QStringLiteral("titleLabel"), missing);
    _sloganLabel = findOutlet<QLabel>(window, QStringLiteral("sloganLabel"), missing);
    _messageTextView = findOutlet<QTextBrowser>(window, QStringLiteral("messageTextView"), missing);
    _installButton = findOutlet<QPushButton>(window, QStringLiteral("installButton"), missing);
    _progressBox = findOutlet<QWidget>(window, QStringLiteral("progressBox"), missing);
    _progressBar = findOutlet<QProgressBar>(window, QStringLiteral("progressBar"), missing);
    _progressLabel = findOutlet<QLabel>(window, QStringLiteral("progressLabel"), missing);
    _downloadLabell = findOutlet<QLabel>(window, QStringLiteral("downloadLabell"), missing);
    _progressDetailLabel =
        findOutlet<QLabel>(window, QStringLiteral("progressDetailLabel"), missing);
    _cancelButton = findOutlet<QPushButton>(window, QStringLiteral("cancelButton"), missing);
    if (_installButton)
        connect(_installButton, &QPushButton::clicked, this, [this] { clickInstallButton(); });
    if (_cancelButton)
        connect(_cancelButton, &QPushButton::clicked, this, [this] { cancelInstall(); });
    if (_messageTextView) {
        _messageTextView->setOpenLinks(false);
        connect(_messageTextView, &QTextBrowser::anchorClicked, this,
                [](const QUrl& url) { (void)Platform::Workspace::shared().openURL(url); });
    }
    window->installEventFilter(this);
}

void TQWindowController::awakeFromNib() {
    if (!_window)
        return;
    QPalette background = _window->palette();
    background.setColor(QPalette::Window, Qt::white);
    _window->setPalette(background);
    _window->setAutoFillBackground(true);
    if (!bundleName().isEmpty())
        _window->setWindowTitle(bundleName());
    // The window takes the size its texts need, and the user cannot change it.
    _window->layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (QWidget* content = _window->centralWidget())
        new TQWindowMover(content);

    if (_progressBox) {
        // The box keeps its place while hidden, so the window does not change size.
        QSizePolicy keep = _progressBox->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        _progressBox->setSizePolicy(keep);
        _progressBox->hide();
    }
    if (_progressBar)
        _progressBar->setStyleSheet(progressBarStyle());
    if (_installButton) {
        _installButton->setDefault(true);
        _installButton->setFocus();
    }
    setInstallButtonTitle(localized(QStringLiteral("Install")));

    const QString privacy = localized(QStringLiteral("Privacy Policy"));
    const QString eula = localized(QStringLiteral("EULA"));
    const QString line = formatted(
        localized(QStringLiteral("By installing, you agree to the %@ and %@")), {privacy, eula});
    if (_messageTextView) {
        writeLicenceLine(_messageTextView->document(), line,
                         orderedLinks(firstOccurrence(line, privacy, privacyPolicyURL()),
                                      firstOccurrence(line, eula, licenseURL())),
                         14 * TQAppearance::fontScale());
        fitHeightToText(_messageTextView);
    }

    localizeString();
    checkApplicationHasInstalled();
    describeForAccessibility();
}

void TQWindowController::describeForAccessibility() {
    const QString product = _titleLabel ? _titleLabel->text() : QString();
    const QString slogan = _sloganLabel ? _sloganLabel->text() : QString();
    if (_window) {
        _window->setAccessibleName(product);
        _window->setAccessibleDescription(slogan);
    }
    if (_logoImageView)
        _logoImageView->setAccessibleName(
            formatted(localized(QStringLiteral("%@ logo")), {product}));
    if (_iconImageView) {
        _iconImageView->setAccessibleName(
            formatted(localized(QStringLiteral("%@ icon")), {product}));
        _iconImageView->setAccessibleDescription(slogan);
    }
    if (_messageTextView)
        _messageTextView->setAccessibleName(plainLine(_messageTextView));
    if (_installButton)
        _installButton->setAccessibleDescription(plainLine(_messageTextView));
    if (_cancelButton)
        _cancelButton->setAccessibleName(_cancelButton->text());
    if (_progressBar && _downloadLabell)
        _progressBar->setAccessibleName(_downloadLabell->text());
}

void TQWindowController::localizeString() {
    if (_titleLabel)
        _titleLabel->setText(Branding::productName());
    if (_sloganLabel)
        _sloganLabel->setText(Branding::productSlogan());
    localizeStrings(_installButton.data());
    localizeStrings(_progressLabel.data());
    localizeStrings(_downloadLabell.data());
    localizeStrings(_cancelButton.data());
}

void TQWindowController::setInstallButtonTitle(const QString& title) {
    _installButtonTitle = title;
    if (!_installButton)
        return;
    _installButton->setText(title);
    _installButton->setAccessibleName(title);
    _installButton->setFont(TQAppearance::font(14));
    _installButton->setStyleSheet(installButtonStyle());
}

// The keyboard focus moves with the buttons, so it is never left on a hidden one.
void TQWindowController::installationStarted() {
    if (_progressDetailLabel)
        _progressDetailLabel->clear();
    if (_progressBox)
        _progressBox->show();
    if (_cancelButton)
        _cancelButton->setFocus();
    if (_installButton)
        _installButton->hide();
}

void TQWindowController::setStageLabel(const QString& text) {
    if (_downloadLabell)
        _downloadLabell->setText(text);
    if (_progressBar)
        _progressBar->setAccessibleName(text);
}

void TQWindowController::updateProgressDetail(const InstallationProgress& detail) {
    const QString text = detailText(detail);
    if (_progressDetailLabel)
        _progressDetailLabel->setText(text);
    if (_progressBar)
        _progressBar->setAccessibleDescription(text);
}

void TQWindowController::installationEnded() {
    if (_installButton)
        _installButton->show();
    if (_installButton && _window && _window->isActiveWindow())
        _installButton->setFocus();
    if (_progressBox)
        _progressBox->hide();
    Q_EMIT installationDidEnd();
}

void TQWindowController::cancelInstall() {
    (void)m_installation.stop(stopBudget);
}

void TQWindowController::setClock(Clock clock) {
    _clock = clock ? std::move(clock) : Clock(steadySeconds);
}

void TQWindowController::updateProgress(double value) {
    _latestProgressValue = value;
    const double now = _clock();
    if (_lastRecordDate >= 0 && now - _lastRecordDate < minimumInterval) {
        // The last value of a burst (the final 100, the reset to 0) is shown when it may be.
        if (!_trailingProgress.isActive())
            _trailingProgress.start(
                std::max(1, int(std::ceil((minimumInterval - (now - _lastRecordDate)) * 1000))));
        return;
    }
    if (std::abs(_lastProgressValue - value) < minimumChange)
        return;
    _lastRecordDate = now;
    showProgress(value);
}

void TQWindowController::showProgress(double value) {
    _lastProgressValue = value;
    if (_progressBar)
        _progressBar->setValue(int(std::lround(value)));
    if (_progressLabel)
        _progressLabel->setText(QString::asprintf("%.1f%%", value));
}

void TQWindowController::showInstallErrorDialog(const QString& message) {
    // The dialog frees itself once a button was pressed; the installation outlives it.
    // The failure ends whatever the line under the bar said ("Retrying…").
    if (_progressDetailLabel)
        _progressDetailLabel->clear();
    auto* dialog = new TQDialogBox();
    Installation& installation = m_installation;
    dialog->setAlertStyle(TQDialogBox::AlertStyle::Warning);
    dialog->setTitle(localized(QStringLiteral("An error occurred during installation.")));
    dialog->setMessage(message);
    dialog->addAction(localized(QStringLiteral("Try Again")), QString(""),
                      [&installation] { installation.tryAgain(); });
    dialog->addAction(localized(QStringLiteral("Direct Download")), QString(""),
                      [&installation] { installation.directDownload(); });
    dialog->addAction(localized(QStringLiteral("Quit")), QString(""),
                      [&installation] { installation.quitAfterError(); });
    dialog->beginSheet(_window);
}

void TQWindowController::selectInstallDirectory(std::function<void(const QUrl&)> answer) {
    auto* panel = new QFileDialog(_window);
    panel->setObjectName(QStringLiteral("selectInstallDirectoryPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setWindowTitle(localized(QStringLiteral(
        "Unable to install it to the application directory, please change the installation "
        "path.")));
    panel->setFileMode(QFileDialog::Directory);
    // Qt's own chooser, in the installer's look: the desktop's may follow a dark theme.
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setOption(QFileDialog::ReadOnly, false);
    connect(panel, &QFileDialog::finished, panel, [panel, answer](int result) {
        const QStringList chosen = panel->selectedFiles();
        answer(result == QDialog::Accepted && !chosen.isEmpty()
                   ? QUrl::fromLocalFile(chosen.first())
                   : QUrl());
    });
    panel->open();
}

bool TQWindowController::windowShouldClose() {
    if (_window)
        _window->showMinimized();
    return false;
}

bool TQWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched != _window || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);
    if (windowShouldClose())
        return false;
    event->ignore();
    return true;
}
