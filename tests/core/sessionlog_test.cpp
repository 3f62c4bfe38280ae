// The session log's own rules: one stamped line a record, on disk at once,
// received text escaped, a table named by the SHA-256 of its saved file; a
// failure said once that never holds its program up; every record on a line
// of its own; a log moved away opened again.
#include "protocol/sessionlog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "tables.h"
#include "waveform/files.h"

using namespace gaspuff;

namespace {

// sha256sum of the files Save writes for an all-zero table and for one that
// starts with ten entries of 50.
const QString kZeroDigest = "a8fda6ece8d8a254fda86ce7d1ab9fe73ca511c90951080ccb1b624e770a66ff";
const QString kFiftyDigest = "a064b4b977045b54dac58c1507ee573b065e5fea8adb8bdc5588786872b4e305";

// A whole record: the local time with its offset, then what it records.
bool isrecord(const QByteArray& line, const QString& what) {
    static const QString stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d) )";
    return QRegularExpression("^" + stamp + what + "\n$")
        .match(QString::fromLatin1(line))
        .hasMatch();
}

class Log : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString name = dir.filePath("session.log"), fifo = dir.filePath("fifo");
    QStringList told;
    Log() { ::mkfifo(QFile::encodeName(fifo).constData(), 0600); }
    void listen(SessionLog& log) {
        log.onfailure([this](const QString& sentence) { told << sentence; });
    }
    QByteArrayList lines(const QString& path) const {
        QFile f(path);
        QByteArrayList all;
        if (f.open(QIODevice::ReadOnly))
            while (!f.atEnd()) all << f.readLine();
        return all;
    }
};

}  // namespace

TEST_F(Log, EachRecordIsOneStampedLineOnDiskAtOnceReceivedTextEscapedTablesFingerprinted) {
    SessionLog log(name);
    const Waveform fifty = test::fromruns({{0, 50}, {10, 0}});
    // What is recorded, and the line it adds while the log stays open.
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { log.received("stop|1|off"); }, R"(rx stop\|1\|off)"},
        {[&] { log.received(QByteArray("a\r\n\t\\\x01\x7f\xe9\0", 9)); },
         R"(rx a\\r\\n\\t\\\\\\x01\\x7f\\xe9\\x00)"},
        {[&] { log.sent("arm\r"); }, R"(tx arm\\r)"},
        {[&] { log.event("file saved " + decodedname("w\xe9\xc3\xa4.txt")); },
         R"(-- file saved w\\xe9\\xc3\\xa4\.txt)"},
        {[&] { log.port("Com 10", "opened", "/dev/pts/3"); },
         R"(-- port Com 10 opened \(/dev/pts/3\))"},
        {[&] { log.port("Com 10", "closed", "Com 10"); }, "-- port Com 10 closed"},
        {[&] { log.shot(); }, "-- shoot sha256 unknown: no waveform sent or read back in this run"},
        {[&] { log.waveform("sent", fifty); },
         "-- waveform sent (50 ){10}(0 ){990}sha256=" + kFiftyDigest},
        {[&] { log.file("saved", "w1.txt", {}); },
         R"(-- file saved w1\.txt sha256=)" + kZeroDigest},
        {[&] { log.shot(); }, "-- shoot sha256=" + kFiftyDigest},  // the save fired nothing
    };
    for (const auto& [record, line] : cases) {
        record();
        EXPECT_TRUE(isrecord(lines(name).last(), line)) << lines(name).last().constData();
    }
    EXPECT_EQ(lines(name).size(), std::size(cases));
}

TEST_F(Log, AFailureIsSaidOnceAndNeverHoldsTheProgramUp) {
    // A log that cannot be opened, and the one sentence told, once listened to.
    const std::pair<QString, const char*> cases[] = {
        {dir.filePath("missing/session.log"), "No such file or directory"},
        {fifo, "No such device or address"},  // nobody reads it: opening does not wait
    };
    for (const auto& [path, why] : cases) {
        told.clear();
        SessionLog log(path);
        log.received("lost");
        listen(log);
        log.received("lost too");
        EXPECT_EQ(told, QStringList(QString("Cannot write the session log %1: %2").arg(path, why)));
    }
    // A reader that stops reading: far more than the pipe holds, and every
    // record returns; the loss said once.
    told.clear();
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    SessionLog log(fifo);
    listen(log);
    for (int i = 0; i < 20000; ++i) log.received(QByteArray(100, 'x'));
    QByteArray first(4096, '\0');
    first.resize(std::max<ssize_t>(::read(reader, first.data(), first.size()), 0));
    EXPECT_TRUE(isrecord(first.left(first.indexOf('\n') + 1), "rx x{100}"));
    EXPECT_EQ(told, QStringList("Cannot write the session log " + fifo +
                                ": its reader does not keep up; lines are left out"));
    ::close(reader);  // gone: no SIGPIPE ends this program, nothing more is said
    log.received("nobody reads this");
    EXPECT_EQ(told.size(), 1);
}

TEST_F(Log, ARecordCutShortLeavesTheNextOnALineOfItsOwn) {
    SessionLog log(name);
    listen(log);
    log.received("whole");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{rlim_t(lines(name)[0].size() + 20), saved.rlim_max};  // a part of one more
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    log.received("cut short");
    log.received("lost");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    log.received("next");
    const QByteArrayList all = lines(name);
    ASSERT_EQ(all.size(), 3);
    EXPECT_TRUE(isrecord(all[0], "rx whole") && isrecord(all[2], "rx next"));
    EXPECT_EQ(all[1].size(), 21);  // the part, then the line end that the next record began with
    EXPECT_EQ(told, QStringList("Cannot write the session log " + name + ": File too large"));
}

TEST_F(Log, ALogMovedOrDeletedMidSessionIsOpenedAgainByItsNameSaidOnce) {
    SessionLog log(name);
    listen(log);
    log.received("first");
    // Ways the name loses its file: the record after it starts a new file.
    for (const auto& lose : {std::function([&] {  // as logrotate's "create" does
                                 QFile::rename(name, name + ".1");
                                 QFile(name).open(QIODevice::WriteOnly);
                             }),
                             std::function([&] { QFile::remove(name); })}) {
        lose();
        log.received("after");
        EXPECT_EQ(lines(name).size(), 1);
        EXPECT_TRUE(isrecord(lines(name).value(0), "rx after"));
    }
    EXPECT_TRUE(isrecord(lines(name + ".1").value(0), "rx first"));
    EXPECT_EQ(told, QStringList("Session log " + name + " was moved or deleted: reopened"));
}
