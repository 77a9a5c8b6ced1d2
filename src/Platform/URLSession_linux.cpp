#include "Platform/URLSession.h"

#include "Platform/Curl_linux.h"
#include "Platform/SharedInstance.h"
#include "Platform/URLSessionDownloadTask_linux.h"

namespace Platform {

namespace {

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

} // namespace

URLSession::URLSession() : URLSession(Configuration{}) {}

URLSession::URLSession(Configuration configuration) : m_configuration(std::move(configuration)) {
    Curl::initializeOnce();
}

URLSession::~URLSession() {
    std::vector<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& worker : workers)
        worker.state->cancel();
    for (Worker& worker : workers)
        worker.thread.join();
}

URLSession& URLSession::shared() {
    return *SharedInstance<URLSession>::pointer();
}

std::shared_ptr<URLSession> URLSession::sharedPointer() {
    return SharedInstance<URLSession>::pointer();
}

void URLSession::setConfiguration(Configuration configuration) {
    std::lock_guard lock(m_mutex);
    m_configuration = std::move(configuration);
}

URLSession::Configuration URLSession::configuration() const {
    std::lock_guard lock(m_mutex);
    return m_configuration;
}

void URLSession::dataTask(const QUrl& url, std::function<void(const QString& error)> completion) {
    auto state = std::make_shared<URLSessionTaskState>();
    startThread(state, [configuration = configuration(), url, completion = std::move(completion),
                        state = state.get()] {
        char errorBuffer[CURL_ERROR_SIZE] = {};
        Curl::EasyHandle handle =
            Curl::makeHandle(url, configuration, state->cancelled, errorBuffer);
        QString error = QStringLiteral("cannot create a transfer");
        if (handle) {
            curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, discardBody);
            const CURLcode code = curl_easy_perform(handle.get());
            error = code == CURLE_OK ? QString() : Curl::describe(code, errorBuffer);
        }
        handle.reset();
        if (completion)
            completion(error);
    });
}

std::shared_ptr<URLSessionTask> URLSession::downloadTask(const QUrl& url,
                                                         const URLSessionDownloadOptions& options,
                                                         URLSessionDownloadDelegate delegate,
                                                         OperationQueue& delegateQueue) {
    auto state = std::make_shared<URLSessionTaskState>();
    return startThread(state,
                       [this, configuration = configuration(), url, options,
                        delegate = std::move(delegate), &delegateQueue, state = state.get()] {
                           runDownloadTask(configuration, *state, delegate, delegateQueue,
                                           m_bytesReceived, url, std::nullopt, options);
                       });
}

std::shared_ptr<URLSessionTask> URLSession::downloadTaskWithResumeData(
    const URLSessionResumeData& resumeData, const URLSessionDownloadOptions& options,
    URLSessionDownloadDelegate delegate, OperationQueue& delegateQueue) {
    auto state = std::make_shared<URLSessionTaskState>();
    return startThread(state,
                       [this, configuration = configuration(), resumeData, options,
                        delegate = std::move(delegate), &delegateQueue, state = state.get()] {
                           runDownloadTask(configuration, *state, delegate, delegateQueue,
                                           m_bytesReceived, resumeData.url, resumeData, options);
                       });
}

std::shared_ptr<URLSessionTask> URLSession::startThread(std::shared_ptr<URLSessionTaskState> state,
                                                        std::function<void()> body) {
    reapFinishedThreads();
    std::lock_guard lock(m_mutex);
    m_workers.push_back(Worker{state, std::thread([state, body = std::move(body)] {
                                   body();
                                   state->finish();
                               })});
    return std::make_shared<URLSessionTask>(std::move(state));
}

void URLSession::reapFinishedThreads() {
    std::vector<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (it->state->isFinished()) {
                finished.push_back(std::move(*it));
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Worker& worker : finished)
        worker.thread.join();
}

} // namespace Platform
