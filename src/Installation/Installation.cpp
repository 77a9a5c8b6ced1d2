#include "Installation/Installation.h"

#include "Extensions/StringExtension.h"
#include "GoogleReporter/TQGoogleReporter.h"
#include "Installation/InstallationTable.h"
#include "Platform/FileManager.h"
#include "Platform/Log.h"
#include "Platform/Workspace.h"
#include "RXPrivilegedTask/RXPrivilegedTask.h"
#include "TQDownloader.h"
#include "Unarchiving/DMG/TQDMGUnarchiver.h"
#include "Unarchiving/TQZip.h"

#include <chrono>

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int Installation::runAsAdministrator(const QString& launchPath, const QStringList& arguments) {
    RXPrivilegedTask task;
    task.setLaunchPath(launchPath);
    task.setArguments(arguments);
    if (task.launch() != 0)
        return -1;
    task.waitUntilExit();
    return task.terminationStatus();
}

Installation::Collaborators Installation::systemCollaborators() {
    return {TQDownloader::shared(),
            TQGoogleReporter::shared(),
            Platform::FileManager::shared(),
            Platform::Workspace::shared(),
            [](const QUrl& package, const QUrl& destination,
               const std::function<void(double, double)>& progress, std::stop_token stop) {
                return TQZip::unzipFile(package, destination, true, progress, nullptr,
                                        std::move(stop));
            },
            [](const QUrl& package, const QUrl& destination,
               const std::function<void(double, double)>& progress, std::stop_token stop) {
                return TQDMGUnarchiver::unarchiveFile(package, destination, progress, nullptr,
                                                      std::move(stop));
            },
            runAsAdministrator,
            steadySeconds};
}

Installation::Installation(Collaborators collaborators) : m_parts(std::move(collaborators)) {
    // Its first use makes the main queue's wake-up object on this, the main, thread.
    (void)Platform::mainQueue();
}

Installation::~Installation() {
    (void)endWork(std::chrono::hours(24));
}

void Installation::setView(InstallationView* view) {
    m_view = view;
}

void Installation::detachView(const InstallationView* view) {
    if (m_view == view)
        m_view = nullptr;
}

bool Installation::endWork(std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(m_mutex);
        m_stop.request_stop();
    }
    m_parts.downloader.cancel();
    return m_parts.downloader.waitUntilIdle(timeout);
}

bool Installation::stop(std::chrono::milliseconds timeout) {
    const bool ended = endWork(timeout);
    m_state = State::Stopped;
    m_isInstalling = false;
    if (m_view) {
        m_view->updateProgress(0);
        m_view->installationEnded();
        m_view->setInstallButtonTitle(localized(QStringLiteral("Install")));
    }
    return ended;
}

void Installation::onMainThread(std::function<void()> work) {
    Platform::mainQueue().addOperation(m_lifetime, [stop = stopToken(), work = std::move(work)] {
        if (!stop.stop_requested())
            work();
    });
}

void Installation::showInView(std::function<void(InstallationView& view)> work) {
    onMainThread([this, work = std::move(work)] {
        if (m_view)
            work(*m_view);
    });
}

void Installation::sendEvent(const QString& category, const QString& action, const QString& label) {
    m_parts.reporter.event(category, action, label);
}

void Installation::failStage(const QString& category, const QString& message, const QString& label,
                             const QString& shown) {
    sendEvent(category, message, label);
    if (shown.isNull())
        showInstallErrorDialog();
    else
        showInstallErrorDialog(shown);
    Platform::Log::write(message);
}

QString Installation::writeFailureMessage(const QString& folder, qint64 needed,
                                          const QString& otherwise) const {
    const std::optional<qint64> available = m_parts.files.availableBytesAtPath(folder);
    if (available && *available < needed)
        return localized(InstallationTable::diskFullMessage);
    if (!otherwise.isNull())
        return otherwise;
    return formatted(localized(InstallationTable::unwritableMessage), {folder});
}

// Progress comes many times a second; one block at a time carries the latest value over.
void Installation::reportProgress(double value) {
    m_progress = value;
    if (m_progressPending.exchange(true))
        return;
    // The hand-over ends even when the block finds the run stopped, so a later run reports.
    Platform::mainQueue().addOperation(m_lifetime, [this, stop = stopToken()] {
        m_progressPending = false;
        if (m_view && !stop.stop_requested())
            m_view->updateProgress(m_progress);
    });
}

void Installation::reportDetail(const InstallationProgress& detail) {
    {
        std::lock_guard lock(m_mutex);
        m_detail = detail;
    }
    if (m_detailPending.exchange(true))
        return;
    Platform::mainQueue().addOperation(m_lifetime, [this, stop = stopToken()] {
        m_detailPending = false;
        InstallationProgress latest;
        {
            std::lock_guard lock(m_mutex);
            latest = m_detail;
        }
        if (m_view && !stop.stop_requested())
            m_view->updateProgressDetail(latest);
    });
}

void Installation::setStageLabel(const QString& key) {
    showInView([text = localized(key)](InstallationView& view) { view.setStageLabel(text); });
}

void Installation::markStageStart() {
    std::lock_guard lock(m_mutex);
    m_date = m_parts.clock();
}

QString Installation::stageDuration() const {
    std::lock_guard lock(m_mutex);
    return QString::asprintf("%.2f", m_parts.clock() - m_date);
}

QUrl Installation::installDirectoryURL() const {
    std::lock_guard lock(m_mutex);
    return m_installDirectoryURL;
}

void Installation::setInstallDirectoryURL(const QUrl& url) {
    std::lock_guard lock(m_mutex);
    m_installDirectoryURL = url;
}

// Written on the main thread only; a stage elsewhere hops there.
void Installation::setApplicationURL(const QUrl& url) {
    onMainThread([this, url] { m_applicationURL = url; });
}

QUrl Installation::installedApplicationURL() const {
    return m_applicationURL;
}

std::stop_token Installation::stopToken() const {
    std::lock_guard lock(m_mutex);
    return m_stop.get_token();
}
