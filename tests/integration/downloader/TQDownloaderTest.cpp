#include "TQDownloader.h"
#include "HttpsTestServer.h"
#include "LogCapture.h"
#include "TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <csignal>
#include <future>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray readFile(const QUrl& location) {
    QFile file(location.toLocalFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One call of download(): what its callbacks saw.
struct Call {
    std::promise<QUrl> promise;
    std::future<QUrl> future = promise.get_future();
    std::atomic<int> completions{0};
    std::atomic<bool> onMainThread{false};
    std::vector<double> progress; // written on the downloader's queue before the completion
    std::vector<TQDownloader::TransferStatus> statuses; // likewise
};

class TQDownloaderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning());
        session = std::make_shared<Platform::URLSession>(Platform::URLSession::Configuration{
            std::chrono::milliseconds(5000), std::chrono::seconds(1), server.certificatePath()});
        otherSession = session;
        folder = TestEnvironment::makeFolder(QStringLiteral("downloads")) +
                 QStringLiteral("/co.quintrel.installer");
        makeDownloader();
    }

    void TearDown() override {
        downloader.reset();
        for (const auto& call : calls)
            EXPECT_EQ(call->completions, 1);
        EXPECT_TRUE(server.problems().isEmpty()) << server.problems().join('\n').toStdString();
    }

    void makeDownloader() {
        downloader = std::make_unique<TQDownloader>(folder, otherSession);
        downloader->setRetryPause(std::chrono::milliseconds(0));
    }

    std::shared_ptr<Call> start(const QUrl& url) {
        auto call = std::make_shared<Call>();
        const std::thread::id mainThread = std::this_thread::get_id();
        calls.push_back(call);
        downloader->download(
            url,
            [call, mainThread](double value, double total) {
                call->onMainThread = call->onMainThread || std::this_thread::get_id() == mainThread;
                EXPECT_EQ(total, 100.0);
                call->progress.push_back(value);
            },
            [call, mainThread](const QUrl& location) {
                call->onMainThread = call->onMainThread || std::this_thread::get_id() == mainThread;
                if (++call->completions == 1)
                    call->promise.set_value(location);
            },
            [call](const TQDownloader::TransferStatus& status) {
                call->statuses.push_back(status);
            });
        return call;
    }

    QUrl result(const std::shared_ptr<Call>& call,
                std::chrono::seconds timeout = std::chrono::seconds(60)) {
        if (call->future.wait_for(timeout) != std::future_status::ready) {
            ADD_FAILURE() << "no completion";
            return QUrl();
        }
        EXPECT_FALSE(call->onMainThread);
        return call->future.get();
    }

    QUrl download(const QUrl& url) { return result(start(url)); }

    // What lies in the download folder, partial files included, besides the partial folders.
    QStringList folderEntries() const {
        const QDir dir(downloader->cacheURL().toLocalFile());
        QStringList entries;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString entry = dir.relativeFilePath(it.next());
            if (!(it.fileInfo().isDir() && entry.startsWith(QStringLiteral(".partial-"))))
                entries << entry;
        }
        return entries;
    }

    HttpsTestServer server;
    std::shared_ptr<Platform::URLSession> session;
    std::shared_ptr<Platform::URLSession> otherSession;
    QString folder;
    std::unique_ptr<TQDownloader> downloader;
    std::vector<std::shared_ptr<Call>> calls;
};

TEST_F(TQDownloaderTest, ResumesAfterThreeDropsIntoOneIdenticalFile) {
    const QByteArray content = randomBytes(1000000);
    server.serveBytes(QStringLiteral("/files/Product.zip"), content);
    server.closeAfter(QStringLiteral("/files/Product.zip"), 100000, 3);
    server.expect(QStringLiteral("/files/Product.zip"), 4);

    const auto call = start(server.url(QStringLiteral("/files/Product.zip")));
    const QUrl location = result(call);

    EXPECT_EQ(location.toLocalFile(), folder + QStringLiteral("/Product.zip"));
    EXPECT_EQ(sha256(readFile(location)), sha256(content));
    const auto requests = server.requests(QStringLiteral("/files/Product.zip"));
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].headers.contains(QStringLiteral("range")));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(requests[i].headers.value(QStringLiteral("range")),
                  QStringLiteral("bytes=%1-").arg(i * 100000));
    ASSERT_FALSE(call->progress.empty());
    EXPECT_TRUE(std::is_sorted(call->progress.begin(), call->progress.end()));
    EXPECT_EQ(call->progress.back(), 100.0);
    EXPECT_EQ(folderEntries(), QStringList{QStringLiteral("Product.zip")});

    // Nothing of the finished transfer is continued into the next one.
    server.serveBytes(QStringLiteral("/files/Other.zip"), QByteArray("other"));
    EXPECT_EQ(readFile(download(server.url(QStringLiteral("/files/Other.zip")))), "other");
}

TEST_F(TQDownloaderTest, SevenDropsWithoutBytesGiveOneNilAndTheNextCallContinues) {
    const QByteArray content = randomBytes(200000);
    server.serveBytes(QStringLiteral("/p.zip"), content);
    server.serveBytes(QStringLiteral("/other.zip"), QByteArray("other"));
    server.closeAfter(QStringLiteral("/p.zip"), 1000);
    server.closeAfter(QStringLiteral("/p.zip"), 0, 6);
    server.expect(QStringLiteral("/p.zip"), 8);
    server.expect(QStringLiteral("/other.zip"), 0);
    downloader->setRetryPause(std::chrono::milliseconds(10));

    QElapsedTimer timer;
    timer.start();
    const auto failed = start(server.url(QStringLiteral("/p.zip")));
    EXPECT_TRUE(result(failed).isEmpty());
    // Pauses of 2, 3, 4, 5 and 6 units before the continuations after empty failures.
    EXPECT_GE(timer.elapsed(), 200);
    EXPECT_EQ(server.requests(QStringLiteral("/p.zip")).size(), 7u);
    EXPECT_TRUE(
        std::any_of(failed->statuses.cbegin(), failed->statuses.cend(), [](const auto& status) {
            return status.retrying && status.bytesWritten == 1000;
        }));

    const auto resumed = start(server.url(QStringLiteral("/other.zip")));
    const QUrl location = result(resumed);
    EXPECT_EQ(sha256(readFile(location)), sha256(content));
    ASSERT_FALSE(resumed->statuses.empty());
    EXPECT_FALSE(resumed->statuses.back().retrying);
    EXPECT_EQ(resumed->statuses.back().bytesWritten, 200000);
    EXPECT_EQ(
        server.requests(QStringLiteral("/p.zip")).back().headers.value(QStringLiteral("range")),
        QStringLiteral("bytes=1000-"));
}

TEST_F(TQDownloaderTest, BytesAfterFailuresStartTheCountAgain) {
    const QByteArray content = randomBytes(100000);
    server.serveBytes(QStringLiteral("/p.zip"), content);
    for (int round = 0; round < 2; ++round) {
        server.closeAfter(QStringLiteral("/p.zip"), 1000);
        server.closeAfter(QStringLiteral("/p.zip"), 0, 5);
    }
    server.expect(QStringLiteral("/p.zip"), 13);

    EXPECT_EQ(sha256(readFile(download(server.url(QStringLiteral("/p.zip"))))), sha256(content));
}

TEST_F(TQDownloaderTest, AChangedFileStartsOverFromTheFirstByte) {
    struct Case {
        const char* label;
        HttpsContentOptions changedOptions;
        int requests;
    };
    HttpsContentOptions anyRange;
    anyRange.ifRange = false;
    HttpsContentOptions anyRangeWithoutValidator = anyRange;
    anyRangeWithoutValidator.etag = false;
    const std::vector<Case> cases = {
        {"the server sees the old validator and sends the whole new file", {}, 2},
        {"a range with another validator is not appended", anyRange, 3},
        {"a range without a validator is not appended", anyRangeWithoutValidator, 3},
    };
    for (const Case& c : cases) {
        const QString path = QStringLiteral("/%1.zip").arg(&c - cases.data());
        server.serveBytes(path, randomBytes(100000));
        server.closeAfter(path, 50000);
        const QByteArray changed = randomBytes(80000 + qsizetype(&c - cases.data()));
        server.replaceContent(path, changed, c.changedOptions);
        server.expect(path, c.requests);

        const auto call = start(server.url(path));
        EXPECT_EQ(sha256(readFile(result(call))), sha256(changed)) << c.label;
        EXPECT_EQ(call->progress.back(), 100.0) << c.label;
    }
}

TEST_F(TQDownloaderTest, AServerThatBreaksOffAtTheSamePointFailsAfterTheTryLimit) {
    struct Case {
        const char* label;
        bool ranges;
        std::function<void(const QString& path)> fault;
        int requests;
    };
    const std::vector<Case> cases = {
        {"range ignored, dropped at the same byte", false,
         [this](const QString& path) { server.closeAfter(path, 50000, 100); }, 7},
        {"a length that lies short", true,
         [this](const QString& path) { server.overstateLength(path, 100, 100); }, 13},
    };
    for (const Case& c : cases) {
        const QString path = QStringLiteral("/%1.zip").arg(&c - cases.data());
        HttpsContentOptions options;
        options.ranges = c.ranges;
        server.serveBytes(path, randomBytes(100000), options);
        c.fault(path);
        server.expect(path, c.requests);
        makeDownloader(); // without the record the row before kept
        EXPECT_TRUE(download(server.url(path)).isEmpty()) << c.label;
    }
}

TEST_F(TQDownloaderTest, SavesUnderTheSuggestedNameKeptInsideTheFolder) {
    struct Case {
        const char* label;
        QByteArray disposition;
        QString path;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"a quoted filename is used", "attachment; filename=\"Product 2.zip\"", "/a",
         "Product 2.zip"},
        {"filename* wins over filename",
         "attachment; filename=\"plain.zip\"; filename*=UTF-8''%E4%BA%A7%E5%93%81.zip", "/b",
         QString::fromUtf8("\xe4\xba\xa7\xe5\x93\x81.zip")},
        {"directory parts are dropped", "attachment; filename=\"../../.bashrc\"", "/c", ".bashrc"},
        {"a bare .. becomes download", "attachment; filename=\"..\"", "/d", "download"},
        {"control characters are removed", "attachment; filename*=UTF-8''ev%0Ail%00.zip", "/e",
         "evil.zip"},
        {"without a header the address names the file", "", "/files/My%20Package.dmg",
         "My Package.dmg"},
        {"an address without a name gives download", "", "/", "download"},
    };
    for (const Case& c : cases) {
        HttpsContentOptions options;
        options.contentDisposition = c.disposition;
        server.serveBytes(QUrl(c.path).path(QUrl::FullyDecoded), QByteArray(c.label), options);
        const QUrl location = download(server.url(c.path));
        EXPECT_EQ(location.toLocalFile(), folder + QLatin1Char('/') + c.expected) << c.label;
        EXPECT_EQ(readFile(location), QByteArray(c.label)) << c.label;
    }
    EXPECT_FALSE(QFile::exists(QFileInfo(folder).absolutePath() + QStringLiteral("/.bashrc")));

    server.redirect(QStringLiteral("/go.php"), QStringLiteral("/final/Final.zip"));
    server.serveBytes(QStringLiteral("/final/Final.zip"), QByteArray("final"));
    EXPECT_EQ(download(server.url(QStringLiteral("/go.php?pid=9&m=c1"))).fileName(),
              QStringLiteral("Final.zip"));
}

TEST_F(TQDownloaderTest, ReplacesWhatLiesAtTheDestination) {
    server.serveBytes(QStringLiteral("/Product.zip"), QByteArray("new package"));
    server.serveBytes(QStringLiteral("/Other.zip"), QByteArray("other package"));
    QFile old(folder + QStringLiteral("/Product.zip"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old package, longer than the new one");
    old.close();
    ASSERT_TRUE(QDir(folder).mkpath(QStringLiteral("Other.zip/inside")));

    EXPECT_EQ(readFile(download(server.url(QStringLiteral("/Product.zip")))), "new package");
    EXPECT_EQ(readFile(download(server.url(QStringLiteral("/Other.zip")))), "other package");
}

TEST_F(TQDownloaderTest, HTTPErrorsAreFailuresWithoutRetryOrFile) {
    LogCapture log;
    server.respond(QStringLiteral("/missing.zip"), 404, QByteArray("<html>Not Found</html>"));
    server.respond(QStringLiteral("/broken.zip"), 500, QByteArray("<html>Oops</html>"));
    server.serveBytes(QStringLiteral("/good.zip"), QByteArray("good"));
    server.expect(QStringLiteral("/missing.zip"), 1);
    server.expect(QStringLiteral("/broken.zip"), 1);

    EXPECT_TRUE(download(server.url(QStringLiteral("/missing.zip"))).isEmpty());
    EXPECT_TRUE(download(server.url(QStringLiteral("/broken.zip"))).isEmpty());
    EXPECT_TRUE(folderEntries().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Download failed with HTTP status 404: %1")
                                 .arg(server.url(QStringLiteral("/missing.zip")).toString())));
    EXPECT_EQ(readFile(download(server.url(QStringLiteral("/good.zip")))), "good");
}

TEST_F(TQDownloaderTest, AStalledOrTricklingTransferFailsAfterTheIdleTimeAndIsContinued) {
    const QByteArray content = randomBytes(100000);
    server.serveBytes(QStringLiteral("/stall.zip"), content);
    server.stallAfterHeaders(QStringLiteral("/stall.zip"));
    server.serveBytes(QStringLiteral("/trickle.zip"), content);
    server.trickle(QStringLiteral("/trickle.zip"));
    for (const QString& path : {QStringLiteral("/stall.zip"), QStringLiteral("/trickle.zip")}) {
        server.expect(path, 2);
        EXPECT_EQ(sha256(readFile(download(server.url(path)))), sha256(content))
            << path.toStdString();
    }
}

TEST_F(TQDownloaderTest, CancelEndsTheTransferAndKeepsNothingToContinue) {
    const QByteArray content = randomBytes(300000);
    server.serveBytes(QStringLiteral("/p.zip"), content);
    server.stallAfterHeaders(QStringLiteral("/p.zip"));
    server.expect(QStringLiteral("/p.zip"), 2);
    // Only the cancel can end the stalled transfer before the wait below runs out.
    session->setConfiguration(
        {std::chrono::milliseconds(5000), std::chrono::seconds(60), server.certificatePath()});

    const auto running = start(server.url(QStringLiteral("/p.zip")));
    ASSERT_TRUE(server.waitForRequests(QStringLiteral("/p.zip"), 1, std::chrono::seconds(10)));
    const auto queued = start(server.url(QStringLiteral("/p.zip")));
    downloader->cancel();
    EXPECT_TRUE(result(running, std::chrono::seconds(20)).isEmpty());
    EXPECT_TRUE(result(queued).isEmpty());
    EXPECT_EQ(folderEntries().filter(QStringLiteral(".zip")), QStringList());

    EXPECT_EQ(sha256(readFile(download(server.url(QStringLiteral("/p.zip"))))), sha256(content));
    EXPECT_FALSE(server.requests(QStringLiteral("/p.zip")).back().headers.contains("range"));
}

TEST_F(TQDownloaderTest, PartialFilesOfKilledRunsAreRemovedWhenADownloaderStarts) {
    downloader.reset();
    const auto live = Platform::ScratchFolder::create(folder);
    ASSERT_TRUE(live);
    const QString abandoned = folder + QStringLiteral("/.partial-killed");
    ASSERT_TRUE(QDir().mkpath(abandoned));
    QFile part(abandoned + QStringLiteral("/download-x.part"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.close();

    makeDownloader();
    EXPECT_FALSE(QFileInfo::exists(abandoned));
    EXPECT_TRUE(QFileInfo::exists(live->path()));
}

TEST_F(TQDownloaderTest, UnreachableAndUntrustedServersFailAfterTheLimit) {
    LogCapture log;
    EXPECT_TRUE(download(QUrl(QStringLiteral("https://127.0.0.1:1/p.zip"))).isEmpty());
    EXPECT_EQ(
        log.lines().filter(QStringLiteral("Download of https://127.0.0.1:1/p.zip failed")).size(),
        7);

    log.clear();
    otherSession = std::make_shared<Platform::URLSession>();
    makeDownloader();
    server.serveBytes(QStringLiteral("/p.zip"), QByteArray("package"));
    server.expect(QStringLiteral("/p.zip"), 0);
    EXPECT_TRUE(download(server.url(QStringLiteral("/p.zip"))).isEmpty());
    const QStringList failures = log.lines().filter(QStringLiteral("certificate"));
    EXPECT_EQ(failures.size(), 7) << log.lines().join('\n').toStdString();
}

TEST_F(TQDownloaderTest, OnlyHTTPSIsFetched) {
    server.redirect(QStringLiteral("/go.php"), QStringLiteral("http://127.0.0.1:1/p.zip"));
    server.redirect(QStringLiteral("/loop"), QStringLiteral("/loop"));
    server.expect(QStringLiteral("/go.php"), 1);
    server.expect(QStringLiteral("/loop"), 21);
    EXPECT_TRUE(download(QUrl(QStringLiteral("http://127.0.0.1:1/p.zip"))).isEmpty());
    EXPECT_TRUE(download(QUrl(QStringLiteral("file:///etc/passwd"))).isEmpty());
    EXPECT_TRUE(download(server.url(QStringLiteral("/go.php"))).isEmpty());
    EXPECT_TRUE(download(server.url(QStringLiteral("/loop"))).isEmpty());
    EXPECT_TRUE(folderEntries().isEmpty());
}

TEST_F(TQDownloaderTest, WithoutALengthProgressStaysAtZeroUntilTheEnd) {
    HttpsContentOptions chunked;
    chunked.chunked = true;
    server.serveBytes(QStringLiteral("/chunked.zip"), randomBytes(300000), chunked);
    server.serveBytes(QStringLiteral("/empty.zip"), QByteArray());

    const auto unknown = start(server.url(QStringLiteral("/chunked.zip")));
    EXPECT_FALSE(result(unknown).isEmpty());
    ASSERT_GE(unknown->progress.size(), 2u);
    EXPECT_TRUE(std::all_of(unknown->progress.begin(), unknown->progress.end() - 1,
                            [](double value) { return value == 0.0; }));
    EXPECT_EQ(unknown->progress.back(), 100.0);

    const auto empty = start(server.url(QStringLiteral("/empty.zip")));
    EXPECT_EQ(readFile(result(empty)), QByteArray());
    EXPECT_EQ(empty->progress, std::vector<double>{100.0});
}

TEST_F(TQDownloaderTest, BytesPastTheAnnouncedLengthAreNotSaved) {
    server.serveBytes(QStringLiteral("/p.zip"), QByteArray("exactly this"));
    server.sendExtraBytes(QStringLiteral("/p.zip"), 5000);
    EXPECT_EQ(readFile(download(server.url(QStringLiteral("/p.zip")))), "exactly this");
}

TEST_F(TQDownloaderTest, AFullDiskFailsAndLeavesNoPartialFile) {
    server.serveBytes(QStringLiteral("/p.zip"), randomBytes(2000000));
    server.expect(QStringLiteral("/p.zip"), 1);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 500000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QUrl location = download(server.url(QStringLiteral("/p.zip")));
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(location.isEmpty());
    EXPECT_TRUE(folderEntries().isEmpty());
}

TEST_F(TQDownloaderTest, UsesTheDownloadFolderOnlyWhenItIsPrivate) {
    downloader.reset();
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const QString base = TestEnvironment::makeFolder(QStringLiteral("planted"));
    const QString asFile = base + QStringLiteral("/file");
    QFile(asFile).open(QIODevice::WriteOnly);
    const QString asLink = base + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(TestEnvironment::makeFolder(QStringLiteral("elsewhere")), asLink));
    const QString open = base + QStringLiteral("/open");
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_EQ(chmod(QFile::encodeName(open).constData(), 0777), 0);

    for (const QString& planted : {asFile, asLink, open}) {
        LogCapture log;
        TQDownloader other(planted);
        const QString used = other.cacheURL().toLocalFile();
        EXPECT_NE(used, planted);
        EXPECT_TRUE(used.startsWith(planted + QLatin1Char('.')));
        ASSERT_EQ(lstat(QFile::encodeName(used).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_TRUE(log.contains(
            QStringLiteral("Download folder %1 is not private; using %2").arg(planted, used)));
    }
}

} // namespace
