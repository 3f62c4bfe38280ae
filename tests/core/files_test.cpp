// SPDX-License-Identifier: MIT
// What the program keeps on disk. Waveform files: what Save writes, what Load
// takes and refuses, and what neither may do to the operator's table or to
// things that are not files. The session log: one stamped line a record, on
// disk at once, received text escaped, a table named by the SHA-256 of its
// saved file; every record on a line of its own; a log moved away opened
// again.
#include "waveform/files.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <optional>

#include "capabilities.h"
#include "protocol/sessionlog.h"
#include "tables.h"

using namespace gaspuff;

namespace {

constexpr uid_t kNobody = 65534;  // another user, and a group root is not in
const Waveform kPatterned = test::tableof([](int i) { return i % 97 - 20; });
// sha256sum of the files Save writes for an all-zero table and for one that
// starts with ten entries of 50.
const QString kZeroDigest = "a8fda6ece8d8a254fda86ce7d1ab9fe73ca511c90951080ccb1b624e770a66ff";
const QString kFiftyDigest = "a064b4b977045b54dac58c1507ee573b065e5fea8adb8bdc5588786872b4e305";

QByteArray readall(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool writefile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// lstat's answer; all zero for nothing there.
struct stat statof(const QString& p) {
    struct stat st {};
    ::lstat(encodedname(p).constData(), &st);
    return st;
}

// A whole record: the local time with its offset, then what it records.
bool isrecord(const QByteArray& line, const QString& what) {
    static const QString stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d )";
    return QRegularExpression("^" + stamp + what + "\n$")
        .match(QString::fromLatin1(line))
        .hasMatch();
}

// Writes past bytes fail (File too large) for its lifetime, instead of raising SIGXFSZ.
class FileSizeLimit {
    rlimit saved_{};

  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{bytes, saved_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
};

class Files : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString logname = dir.filePath("session.log"), fifo = dir.filePath("fifo");
    QStringList told;  // what logs said of their failures
    Files() { ::mkfifo(encodedname(fifo).constData(), 0600); }
    QString path(const QString& name) const { return dir.filePath(name); }
    void listen(SessionLog& log) {
        log.onfailure([this](const QString& sentence) { told << sentence; });
    }
    QByteArrayList lines(const QString& file) const {
        QFile f(file);
        QByteArrayList all;
        for (f.open(QIODevice::ReadOnly); !f.atEnd();) all << f.readLine();
        return all;
    }
};
using WaveformFiles = Files;
using Log = Files;

}  // namespace

TEST_F(WaveformFiles, LoadTakesWholeNumbersInAnyLineEndOrFailsWholeNamingTheLine) {
    // Bytes, then the entries they give (the rest of the table stays) or the
    // error, which changes nothing.
    const std::tuple<QByteArray, std::vector<int>, QString> cases[] = {
        {"", {}, ""},
        {"150\r\n-5\r\n32767\r\n-32768", {150, -5, 32767, -32768}, ""},
        {" -5 \n\t7\r\n+8\r9\r\n10\n\n\n", {-5, 7, 8, 9, 10}, ""},
        {QByteArray("\xEF\xBB\xBF") + "12\r\n13\r\n", {12, 13}, ""},  // as some editors write
        // CR LF pairs split across the loader's 64 kB reads.
        {"1\r\n" + QByteArray("\r\n").repeated(2 * 1024 * 1024), {1}, ""},
        {"1\r\n2\r\nabc\r\n", {}, "Line 3 of %1 is not a whole number"},
        {"40000\r\n", {}, "Line 1 of %1 is outside -32768..32767"},
        {"1\r\n\r\n2\r\n", {}, "Line 2 of %1 is empty"},
        {QByteArray("1\r\n").repeated(1001), {}, "%1 has more than 1000 entries"},
    };
    const QString name = path("wave file %1.txt");
    for (const auto& [bytes, entries, message] : cases) {
        ASSERT_TRUE(writefile(name, bytes));
        Waveform w = kPatterned, expected = kPatterned;
        std::copy(entries.begin(), entries.end(), expected.begin());
        int count = -1;
        EXPECT_EQ(loadwaveform(name, w, &count), QString(message).replace("%1", name))
            << bytes.left(20).constData();
        EXPECT_EQ(std::pair(w, count),
                  std::pair(expected, message.isEmpty() ? int(entries.size()) : -1))
            << bytes.left(20).constData();
    }
}

TEST_F(WaveformFiles, WhatIsNoRegularFileIsRefusedAndLeftAloneLinksAreFollowedAndKept) {
    const QString link = path("link");
    ASSERT_TRUE(QFile::link(fifo, link) && QDir().mkpath(path("folder")));
    for (const QString& p : {fifo, link, path("folder")}) {
        const struct stat before = statof(p);
        EXPECT_EQ(savewaveform(p, kPatterned), "Cannot save " + p + ": it is not a regular file");
        EXPECT_EQ(unloadable(p), "Cannot load " + p + ": it is not a regular file");
        EXPECT_TRUE(statof(p).st_ino == before.st_ino && statof(p).st_mode == before.st_mode);
    }
    Waveform w = kPatterned;  // Load itself refuses a FIFO instead of waiting for a writer
    EXPECT_EQ(loadwaveform(fifo, w), "Cannot load " + fifo + ": it is not a regular file");
    ASSERT_TRUE(QFile::link(path("gone"), path("dangling")));
    for (const QString& p : {path("missing"), path("dangling"), path("fifo/below")})
        EXPECT_EQ(unloadable(p), "File " + p + " does not exist");
    // A link to a regular file: written through, the link and the file's mode kept.
    const QString plain = path("plain.txt"), toplain = path("to-plain");
    ASSERT_TRUE(writefile(plain, "old\r\n") && QFile::link(plain, toplain));
    ASSERT_EQ(::chmod(encodedname(plain).constData(), 0640), 0);
    EXPECT_EQ(savewaveform(toplain, kPatterned), "");
    EXPECT_EQ(unloadable(toplain), "");
    EXPECT_TRUE(QFileInfo(toplain).isSymLink());
    EXPECT_EQ(statof(plain).st_mode & 0777, 0640u);
    EXPECT_EQ(loadwaveform(plain, w), "");
    EXPECT_EQ(w, kPatterned);
}

TEST_F(WaveformFiles, AFailedSaveNamesItsCauseAndLeavesTheOldFileAsItWas) {
    const Waveform fifty = test::fromruns({{0, 50}});
    const auto fails = [&](const QString& name, const char* cause, const Waveform& kept) {
        EXPECT_EQ(savewaveform(name, fifty), "Cannot save " + name + ": " + cause);
        Waveform back{};
        EXPECT_EQ(loadwaveform(name, back), "");
        EXPECT_EQ(back, kept) << cause;
    };
    // Past a file-size limit.
    const QString limited = path("limited.txt");
    ASSERT_EQ(savewaveform(limited, kPatterned), "");
    {
        const FileSizeLimit limit(1000);  // well below a table
        fails(limited, "File too large", kPatterned);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList("limited.txt"));

    // In a folder that refuses new files, as an operator without root's
    // powers: a writable file is rewritten in place; a read-only one is not.
    const QString name = path("locked/w.txt");
    ASSERT_TRUE(QDir().mkpath(path("locked")));
    ASSERT_EQ(savewaveform(name, kPatterned), "");
    ::chmod(encodedname(path("locked")).constData(), 0555);
    {
        test::WithoutCapabilities permissions({CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH});
        ASSERT_EQ(savewaveform(name, fifty), "");
        EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"w.txt"});
        ::chmod(encodedname(name).constData(), 0444);
        fails(name, "Permission denied", fifty);
        ::chmod(encodedname(name).constData(), 0200);
        Waveform w{};
        EXPECT_EQ(loadwaveform(name, w), "Cannot load " + name + ": Permission denied");
    }
    ::chmod(encodedname(path("locked")).constData(), 0755);
}

TEST_F(WaveformFiles, InAStickySharedFolderOnlyTheUsersAndTheFolderOwnersLinksAreFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root (lchown)";
    const QString mine = path("mine"),
                  refused = "it is a link owned by another user in a shared folder";
    ASSERT_TRUE(writefile(mine, "mine\n"));
    // The folder's mode and owner, the link's owner, whether it is followed.
    const std::tuple<mode_t, uid_t, uid_t, bool> cases[] = {
        {01777, 0, kNobody, false},       // a stranger's link in /tmp
        {01777, 0, 0, true},              // the user's own
        {01777, kNobody, kNobody, true},  // the folder owner's
        {00777, 0, kNobody, true},        // not sticky: the rule does not apply
        {01775, 0, kNobody, true},        // sticky, but not everyone's
    };
    int row = 0;
    for (const auto& [mode, folderowner, linkowner, followed] : cases) {
        const QString shared = path(QString("shared%1").arg(row++)), link = shared + "/w.txt";
        ASSERT_TRUE(QDir().mkpath(shared) && QFile::link(mine, link));
        ASSERT_EQ(::chown(encodedname(shared).constData(), folderowner, 0), 0);
        ASSERT_EQ(::chmod(encodedname(shared).constData(), mode), 0);
        ASSERT_EQ(::lchown(encodedname(link).constData(), linkowner, linkowner), 0);
        const Followed to = followlinks(encodedname(link));
        EXPECT_EQ(std::pair(to.path, to.refusal), followed ? std::pair(encodedname(mine), QString())
                                                           : std::pair(QByteArray(), refused))
            << row;
    }
    // Save and the log refuse the stranger's link and write nothing.
    const QString stranger = path("shared0/w.txt");
    EXPECT_EQ(savewaveform(stranger, kPatterned), "Cannot save " + stranger + ": " + refused);
    SessionLog log(stranger);
    listen(log);
    log.event("file saved");
    EXPECT_EQ(told, QStringList("Cannot write the session log " + stranger + ": " + refused));
    EXPECT_EQ(readall(mine), "mine\n");
    EXPECT_EQ(QDir(path("shared0")).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 1);
}

TEST_F(WaveformFiles, SaveKeepsTheReplacedFilesOwnerGroupAndModeOrSaysWhatItCouldNotKeep) {
    if (::geteuid() != 0) GTEST_SKIP() << "a file of another user's needs root to make";
    const QString name = path("keep.txt");
    const passwd* user = ::getpwuid(kNobody);
    const group* grp = ::getgrgid(kNobody);
    ASSERT_TRUE(user && grp);
    const QString lost =
        QString("could not keep its owner %1 and group %2: Operation not permitted")
            .arg(user->pw_name, grp->gr_name);
    // Whether root may give files away.
    for (const bool chown : {true, false}) {
        ASSERT_TRUE(writefile(name, "1\r\n") &&
                    ::chown(encodedname(name).constData(), kNobody, kNobody) == 0 &&
                    ::chmod(encodedname(name).constData(), 0640) == 0);
        QString noted = "(none)";
        {
            std::optional<test::WithoutCapabilities> without;
            if (!chown) without.emplace(std::initializer_list<int>{CAP_CHOWN});
            ASSERT_EQ(savewaveform(name, kPatterned, &noted), "");
        }
        EXPECT_EQ(noted, chown ? "" : lost);
        const struct stat st = statof(name);
        const uid_t owner = chown ? kNobody : 0;
        EXPECT_EQ(std::tie(st.st_uid, st.st_gid, st.st_mode),
                  std::tuple(owner, owner, S_IFREG | 0640));
        EXPECT_EQ(readall(name), waveformfiletext(kPatterned));
    }
}

TEST_F(Log, EachRecordIsOneStampedLineOnDiskAtOnceReceivedTextEscapedTablesFingerprinted) {
    SessionLog log(logname);
    const Waveform fifty = test::fromruns({{0, 50}, {10, 0}});
    // What is recorded, and the line it adds while the log stays open.
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { log.received(QByteArray("a\r\n\t\\\x01\x7f\xe9\0", 9)); },
         R"(rx a\\r\\n\\t\\\\\\x01\\x7f\\xe9\\x00)"},
        {[&] { log.sent("arm\r"); }, R"(tx arm\\r)"},
        {[&] { log.event("file saved " + decodedname("w\xe9\xc3\xa4.txt")); },
         R"(-- file saved w\\xe9\\xc3\\xa4\.txt)"},
        {[&] { log.port("Com 10", "opened", "/dev/pts/3"); },
         R"(-- port Com 10 opened \(/dev/pts/3\))"},
        {[&] { log.waveform("sent", fifty); },
         "-- waveform sent (50 ){10}(0 ){990}sha256=" + kFiftyDigest},
        {[&] { log.file("saved", "w1.txt", {}); },
         R"(-- file saved w1\.txt sha256=)" + kZeroDigest},
        {[&] { log.shot(); }, "-- shoot sha256=" + kFiftyDigest},  // the save fired nothing
    };
    for (const auto& [record, line] : cases) {
        record();
        EXPECT_TRUE(isrecord(lines(logname).last(), line)) << lines(logname).last().constData();
    }
    EXPECT_EQ(lines(logname).size(), std::size(cases));
}

TEST_F(Log, ARecordCutShortLeavesTheNextOnALineOfItsOwn) {
    SessionLog log(logname);
    listen(log);
    log.received("whole");
    {
        const FileSizeLimit limit(lines(logname)[0].size() + 20);  // a part of one more
        log.received("cut short");
        log.received("lost");
    }
    log.received("next");
    const QByteArrayList all = lines(logname);
    ASSERT_EQ(all.size(), 3);
    EXPECT_TRUE(isrecord(all[0], "rx whole") && isrecord(all[2], "rx next"));
    EXPECT_EQ(all[1].size(), 21);  // the part, then the line end that the next record began with
    EXPECT_EQ(told, QStringList("Cannot write the session log " + logname + ": File too large"));
}

TEST_F(Log, ALogMovedOrDeletedMidSessionIsOpenedAgainByItsNameSaidOnce) {
    SessionLog log(logname);
    listen(log);
    log.received("first");
    // Ways the name loses its file: the record after it starts a new file.
    for (const auto& lose : {std::function([&] {  // as logrotate's "create" does
                                 QFile::rename(logname, logname + ".1");
                                 QFile(logname).open(QIODevice::WriteOnly);
                             }),
                             std::function([&] { QFile::remove(logname); })}) {
        lose();
        log.received("after");
        EXPECT_EQ(lines(logname).size(), 1);
        EXPECT_TRUE(isrecord(lines(logname).value(0), "rx after"));
    }
    EXPECT_TRUE(isrecord(lines(logname + ".1").value(0), "rx first"));
    EXPECT_EQ(told, QStringList("Session log " + logname + " was moved or deleted: reopened"));
}
