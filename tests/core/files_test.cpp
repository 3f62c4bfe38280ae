// Waveform files: what Save writes, what Load takes and refuses, and what
// neither may do to the operator's table or to things that are not files.
#include "waveform/files.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <optional>

#include "capabilities.h"
#include "protocol/sessionlog.h"

using namespace gaspuff;

namespace {

constexpr uid_t kNobody = 65534;  // another user, and a group root is not in

QByteArray native(const QString& p) {
    return QFile::encodeName(p);
}

QByteArray readall(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool writefile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

Waveform patterned() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>(i % 97 - 20);
    return w;
}

class WaveformFiles : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

}  // namespace

TEST_F(WaveformFiles, SaveWritesCrLfRecordsThatLoadBackExactly) {
    Waveform w{};
    const QString name = path("Wellenform 100%1 äöü-波形.txt");
    ASSERT_TRUE(writefile(name, "an older, longer file that Save replaces without asking\n"));
    ASSERT_EQ(savewaveform(name, w), "");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("0\r\n").repeated(1000));

    auto* rng = QRandomGenerator::global();
    for (auto& v : w) v = static_cast<int16_t>(rng->bounded(-32768, 32768));
    w[0] = -32768, w[1] = 32767;
    ASSERT_EQ(savewaveform(name, w), "");
    Waveform back = patterned();
    ASSERT_EQ(loadwaveform(name, back), "");
    EXPECT_EQ(back, w);
}

TEST_F(WaveformFiles, LoadTakesPlainNumbersInAnyLineEndAndChangesOnlyTheEntriesItHolds) {
    // Bytes, and the entries they give; the rest of the table stays.
    const std::pair<QByteArray, std::vector<int>> cases[] = {
        {"", {}},
        {"150\r\n-5\r\n32767\r\n-32768", {150, -5, 32767, -32768}},
        {" -5 \n\t7\r\n+8\r9\r\n10\n\n\n", {-5, 7, 8, 9, 10}},
        {"\xEF\xBB\xBF"
         "12\r\n13\r\n",
         {12, 13}},  // a byte-order mark, as some editors write one
        // CR LF pairs split across the loader's 64 kB reads.
        {"1\r\n" + QByteArray("\r\n").repeated(2 * 1024 * 1024), {1}},
    };
    for (const auto& [bytes, entries] : cases) {
        ASSERT_TRUE(writefile(path("good.txt"), bytes));
        Waveform w = patterned();
        int count = -1;
        ASSERT_EQ(loadwaveform(path("good.txt"), w, &count), "") << bytes.left(20).constData();
        Waveform expected = patterned();
        std::copy(entries.begin(), entries.end(), expected.begin());
        EXPECT_EQ(w, expected) << bytes.left(20).constData();
        EXPECT_EQ(count, int(entries.size())) << bytes.left(20).constData();
    }
}

TEST_F(WaveformFiles, ABadFileFailsWholeNamingTheLineAndChangesNothing) {
    const std::pair<QByteArray, QString> cases[] = {
        {"1\r\n2\r\nabc\r\n", "Line 3 of %1 is not a whole number"},
        {"1\r\n1.5\r\n", "Line 2 of %1 is not a whole number"},
        {"1 2\r\n", "Line 1 of %1 is not a whole number"},
        {"-\r\n", "Line 1 of %1 is not a whole number"},
        {QByteArray("1\r\n2\0\r\n", 7), "Line 2 of %1 is not a whole number"},
        {"\xff\r\n", "Line 1 of %1 is not a whole number"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "1\r\n",
         "Line 1 of %1 is not a whole number"},
        {"5\r\n" + QByteArray(1000, ' ') + "6\r\n", "Line 2 of %1 is not a whole number"},
        {"40000\r\n", "Line 1 of %1 is outside -32768..32767"},
        {"-32769\r\n", "Line 1 of %1 is outside -32768..32767"},
        {"1\r\n2x", "Line 2 of %1 is not a whole number"},  // a bad last line with no line end
        {"1\r\n99999", "Line 2 of %1 is outside -32768..32767"},
        {"1\r\n\r\n2\r\n", "Line 2 of %1 is empty"},
        {QByteArray("1\r\n").repeated(1001), "%1 has more than 1000 entries"},
        {QByteArray("55\r\n").repeated(10 * 1024 * 1024 / 4), "%1 has more than 1000 entries"},
    };
    const QString name = path("bad file %1.txt");
    for (const auto& [bytes, message] : cases) {
        ASSERT_TRUE(writefile(name, bytes));
        Waveform w = patterned();
        EXPECT_EQ(loadwaveform(name, w), QString(message).replace("%1", name))
            << bytes.left(20).constData();
        EXPECT_EQ(w, patterned());
    }
}

TEST_F(WaveformFiles, WhatIsNoRegularFileIsRefusedAndLeftAloneLinksAreFollowedAndKept) {
    const QString fifo = path("fifo"), link = path("link"), device = path("device");
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, link) && QDir().mkpath(path("folder")));
    // A copy of /dev/null, where this process may make one.
    const bool root = ::mknod(native(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const QString& p : {fifo, link, path("folder"), device}) {
        if (p == device && !root) continue;  // said at the end
        struct stat before {
        }, after{};
        ASSERT_EQ(::lstat(native(p).constData(), &before), 0);
        EXPECT_EQ(savewaveform(p, patterned()), "Cannot save " + p + ": it is not a regular file");
        EXPECT_EQ(unloadable(p), "Cannot load " + p + ": it is not a regular file");
        ASSERT_EQ(::lstat(native(p).constData(), &after), 0);
        EXPECT_EQ(std::tie(after.st_ino, after.st_mode), std::tie(before.st_ino, before.st_mode));
    }
    Waveform w = patterned();  // Load itself refuses a FIFO instead of waiting for a writer
    EXPECT_EQ(loadwaveform(fifo, w), "Cannot load " + fifo + ": it is not a regular file");
    ASSERT_TRUE(QFile::link(path("gone"), path("dangling")));
    for (const QString& p : {path("missing"), path("dangling"), path("fifo/below")})
        EXPECT_EQ(unloadable(p), "File " + p + " does not exist");
    // A link to a regular file: written through, the link and the file's mode kept.
    const QString plain = path("plain.txt"), toplain = path("to-plain");
    ASSERT_TRUE(writefile(plain, "old\r\n") && QFile::link(plain, toplain));
    ASSERT_EQ(::chmod(native(plain).constData(), 0640), 0);
    EXPECT_EQ(savewaveform(toplain, patterned()), "");
    EXPECT_EQ(unloadable(toplain), "");
    EXPECT_TRUE(QFileInfo(toplain).isSymLink());
    struct stat target {};
    ASSERT_EQ(::stat(native(plain).constData(), &target), 0);
    EXPECT_EQ(target.st_mode & 0777, 0640u);
    EXPECT_EQ(loadwaveform(plain, w), "");
    EXPECT_EQ(w, patterned());
    if (!root) GTEST_SKIP() << "the device row needs root, to make a device node";
}

TEST_F(WaveformFiles, AFailedSaveNamesItsCauseAndLeavesTheOldFileAsItWas) {
    Waveform fifty{};
    fifty.fill(50);
    const auto fails = [&](const QString& name, const char* cause, const Waveform& kept) {
        EXPECT_EQ(savewaveform(name, fifty), "Cannot save " + name + ": " + cause);
        Waveform back{};
        EXPECT_EQ(loadwaveform(name, back), "");
        EXPECT_EQ(back, kept) << cause;
    };
    // Past a file-size limit.
    const QString limited = path("limited.txt");
    ASSERT_EQ(savewaveform(limited, patterned()), "");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;  // well below a table
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    fails(limited, "File too large", patterned());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList("limited.txt"));

    // In a folder that refuses new files, as an operator without root's
    // powers: a writable file is rewritten in place; a read-only one is not.
    const QString name = path("locked/w.txt");
    ASSERT_TRUE(QDir().mkpath(path("locked")));
    ASSERT_EQ(savewaveform(name, patterned()), "");
    ::chmod(native(path("locked")).constData(), 0555);
    {
        test::WithoutCapabilities permissions({CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH});
        ASSERT_EQ(savewaveform(name, fifty), "");
        EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"w.txt"});
        ::chmod(native(name).constData(), 0444);
        fails(name, "Permission denied", fifty);
        ::chmod(native(name).constData(), 0200);
        Waveform w{};
        EXPECT_EQ(loadwaveform(name, w), "Cannot load " + name + ": Permission denied");
    }
    ::chmod(native(path("locked")).constData(), 0755);

    // On a full 64 kB file system, where this process may mount one.
    const QString full = path("full");
    ASSERT_TRUE(QDir().mkpath(full));
    if (::mount("tmpfs", native(full).constData(), "tmpfs", 0, "size=64k") == 0) {
        ASSERT_EQ(savewaveform(full + "/w.txt", patterned()), "");
        writefile(full + "/filler", QByteArray(64 * 1024, 'x'));
        fails(full + "/w.txt", "No space left on device", patterned());
        ::umount(native(full).constData());
    } else
        GTEST_SKIP() << "the full-disk row needs root, to mount a small tmpfs";
}

TEST_F(WaveformFiles, NamesInvalidInUtf8ReachTheFileSystemByteForByte) {
    const QByteArray names[] = {
        "latin1_\xe9.txt", "\xc3\xa4\xc3\xb6-\xe6\xb3\xa2.txt",  // the second valid UTF-8
        "\xed\xa0\x80",    "\xc0\xaf",  // an encoded surrogate, an overlong "/"
        "\xe6\xb3",        "\xf4\x90\x80\x80",
        "a\xff\xfe\x80",
    };
    for (const QByteArray& bytes : names) {
        EXPECT_EQ(encodedname(decodedname(bytes)), bytes) << bytes.toHex().constData();
        EXPECT_TRUE(!bytes.isValidUtf8() || decodedname(bytes) == QString::fromUtf8(bytes));
    }
}

TEST_F(WaveformFiles, InAStickySharedFolderOnlyTheUsersAndTheFolderOwnersLinksAreFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root (lchown)";
    // The folder's mode and owner, the links' owner, whether Save and the log
    // follow the links.
    const std::tuple<mode_t, uid_t, uid_t, bool> cases[] = {
        {01777, 0, kNobody, false},       // a stranger's link in /tmp
        {01777, 0, 0, true},              // the user's own
        {01777, kNobody, kNobody, true},  // the folder owner's
        {00777, 0, kNobody, true},        // not sticky: the rule does not apply
        {01775, 0, kNobody, true},        // sticky, but not everyone's
    };
    const QString refused = ": it is a link owned by another user in a shared folder";
    int row = 0;
    for (const auto& [mode, folderowner, linkowner, followed] : cases) {
        const QString shared = path(QString("shared%1").arg(row++));
        const QString save = shared + "/waveform1.txt", logged = shared + "/session.log";
        const QString precious = shared + "-precious.txt", kept = shared + "-kept.log";
        ASSERT_TRUE(QDir().mkpath(shared) && writefile(precious, "mine\n") &&
                    writefile(kept, "mine\n") && QFile::link(precious, save) &&
                    QFile::link(kept, logged));
        ASSERT_EQ(::chown(native(shared).constData(), folderowner, 0), 0);
        ASSERT_EQ(::chmod(native(shared).constData(), mode), 0);
        for (const QString& link : {save, logged})
            ASSERT_EQ(::lchown(native(link).constData(), linkowner, linkowner), 0);

        EXPECT_EQ(savewaveform(save, patterned()), followed ? "" : "Cannot save " + save + refused);
        QStringList told;
        {
            SessionLog log(logged);
            log.onfailure([&told](const QString& sentence) { told << sentence; });
            log.event("file saved waveform1.txt");
        }
        EXPECT_EQ(told, followed ? QStringList()
                                 : QStringList("Cannot write the session log " + logged + refused));
        EXPECT_EQ(readall(precious), followed ? waveformfiletext(patterned()) : "mine\n") << row;
        EXPECT_EQ(readall(kept).contains("-- file saved waveform1.txt"), followed) << row;
        EXPECT_TRUE(QFileInfo(save).isSymLink() && QFileInfo(logged).isSymLink());
        EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
    }
}

TEST_F(WaveformFiles, SaveKeepsTheReplacedFilesOwnerGroupAndModeOrSaysWhatItCouldNotKeep) {
    if (::geteuid() != 0) GTEST_SKIP() << "a file of another user's needs root to make";
    const QString name = path("keep.txt");
    ASSERT_TRUE(writefile(name, "1\r\n"));
    ASSERT_EQ(::chown(native(name).constData(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(native(name).constData(), 0640), 0);
    const passwd* user = ::getpwuid(kNobody);
    const group* grp = ::getgrgid(kNobody);
    ASSERT_TRUE(user && grp);
    // Whether root may give files away, then what Save notes and who owns the file.
    const std::tuple<bool, QString, uid_t> cases[] = {
        {true, "", kNobody},
        {false,
         QString("could not keep its owner %1 and group %2: Operation not permitted")
             .arg(user->pw_name, grp->gr_name),
         0},
    };
    for (const auto& [chown, note, owner] : cases) {
        QString noted = "(none)";
        {
            std::optional<test::WithoutCapabilities> without;
            if (!chown) without.emplace(std::initializer_list<int>{CAP_CHOWN});
            ASSERT_EQ(savewaveform(name, patterned(), &noted), "");
        }
        EXPECT_EQ(noted, note);
        struct stat st {};
        ASSERT_EQ(::stat(native(name).constData(), &st), 0);
        EXPECT_EQ(std::tie(st.st_uid, st.st_gid), std::tie(owner, owner));
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(readall(name), waveformfiletext(patterned()));
        ASSERT_EQ(::chown(native(name).constData(), kNobody, kNobody), 0);
    }
}
