#include "TQWindowController.h"

#include "Controls/TQDialogBox.h"
#include "Controls/TQLayoutLoader.h"
#include "Controls/TQWindowMover.h"
#include "Extensions/ColorExtension.h"
#include "Extensions/StringExtension.h"
#include "Extensions/URLExtension.h"
#include "Localization/TQLocalization.h"
#include "Platform/Workspace.h"

#include <QCloseEvent>
#include <QFileDialog>
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
                      const std::array<Link, 2>& links) {
    document->clear();
    QTextCursor cursor(document);
    QTextBlockFormat paragraph;
    paragraph.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(paragraph);
    QTextCharFormat text;
    text.setFontFamilies(licenceFontFamilies);
    text.setFontPointSize(14);
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
                          "color: #FFFFFF; font-size: 14pt; text-align: center; } "
                          "QPushButton:pressed { color: %2; }")
        .arg(colorWithRGB(0x4E69FF).name(), QColor(Qt::lightGray).name());
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
    if (_installButton)
        connect(_installButton, &QPushButton::clicked, this, [this] { clickInstallButton(); });
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
    if (QWidget* content = _window->centralWidget())
        new TQWindowMover(content);

    if (_progressBox)
        _progressBox->hide();
    setInstallButtonTitle(localized(QStringLiteral("Install")));

    const QString privacy = localized(QStringLiteral("Privacy Policy"));
    const QString eula = localized(QStringLiteral("EULA"));
    const QString line = formatted(
        localized(QStringLiteral("By installing, you agree to the %@ and %@")), {privacy, eula});
    if (_messageTextView)
        writeLicenceLine(_messageTextView->document(), line,
                         orderedLinks(firstOccurrence(line, privacy, privacyPolicyURL()),
                                      firstOccurrence(line, eula, licenseURL())));

    localizeString();
    checkApplicationHasInstalled();
}

void TQWindowController::localizeString() {
    localizeStrings(_titleLabel.data());
    localizeStrings(_sloganLabel.data());
    localizeStrings(_installButton.data());
    localizeStrings(_progressLabel.data());
    localizeStrings(_downloadLabell.data());
}

void TQWindowController::setInstallButtonTitle(const QString& title) {
    _installButtonTitle = title;
    if (!_installButton)
        return;
    _installButton->setText(title);
    _installButton->setStyleSheet(installButtonStyle());
}

void TQWindowController::installationStarted() {
    if (_progressBox)
        _progressBox->show();
    if (_installButton)
        _installButton->hide();
}

void TQWindowController::setStageLabel(const QString& text) {
    if (_downloadLabell)
        _downloadLabell->setText(text);
}

void TQWindowController::installationEnded() {
    if (_progressBox)
        _progressBox->hide();
    if (_installButton)
        _installButton->show();
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
    auto* dialog = new TQDialogBox();
    Installation& installation = m_installation;
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
