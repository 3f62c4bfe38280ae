// Waveform files: what Save writes, what Load takes and refuses, and what
// neither may do to the operator's table or to things that are not files.
#include "waveform/files.h"

#include <gtest/gtest.h>
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

#include "permissions.h"

using namespace gaspuff;

namespace {

QByteArray native(const QString& p) {
    return QFile::encodeName(p);
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
    const QString zero = path("zero.txt");
    ASSERT_EQ(savewaveform(zero, w), "");
    QFile f(zero);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("0\r\n").repeated(1000));

    for (int i = 0; i < 10; ++i) w[i] = 50;
    const QString fifty = path("fifty.txt");
    ASSERT_TRUE(writefile(fifty, "an older, longer file that Save replaces without asking\n"));
    ASSERT_EQ(savewaveform(fifty, w), "");
    EXPECT_EQ(QFileInfo(fifty).size(), 3010);

    auto* rng = QRandomGenerator::global();
    for (auto& v : w) v = static_cast<int16_t>(rng->bounded(-32768, 32768));
    w[0] = -32768, w[1] = 32767;
    const QString odd = path("Wellenform 100%1 äöü-波形.txt");
    ASSERT_EQ(savewaveform(odd, w), "");
    Waveform back = patterned();
    ASSERT_EQ(loadwaveform(odd, back), "");
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
        {"1\r\n" + QByteArray("\r\n").repeated(2 * 1024 * 1024), {1}},
    };
    for (const auto& [bytes, entries] : cases) {
        // The reader in any chunking, and Load from disk, agree.
        for (qsizetype piece : {qsizetype(1), qsizetype(3), bytes.size() + 1}) {
            WaveformReader r("f");
            for (qsizetype i = 0; i < bytes.size(); i += piece)
                ASSERT_TRUE(
                    r.feed(QByteArrayView(bytes).sliced(i, std::min(piece, bytes.size() - i))));
            ASSERT_TRUE(r.finish()) << r.error().toStdString();
            EXPECT_EQ(std::vector<int>(r.entries().begin(), r.entries().begin() + r.count()),
                      entries);
        }
        ASSERT_TRUE(writefile(path("good.txt"), bytes));
        Waveform w = patterned();
        ASSERT_EQ(loadwaveform(path("good.txt"), w), "") << bytes.left(20).constData();
        Waveform expected = patterned();
        std::copy(entries.begin(), entries.end(), expected.begin());
        EXPECT_EQ(w, expected) << bytes.left(20).constData();
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

TEST_F(WaveformFiles, OnlyAnExistingRegularFileCountsAsOneToLoad) {
    ASSERT_TRUE(writefile(path(".hidden.txt"), "1\r\n"));
    EXPECT_TRUE(isregularfile(path(".hidden.txt")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    for (const QString& name :
         {path("folder"), path("missing.txt"), QStringLiteral("/dev/null"), QString()})
        EXPECT_FALSE(isregularfile(name)) << name.toStdString();
}

TEST_F(WaveformFiles, SaveRefusesWhatIsNoRegularFileFollowsLinksAndKeepsPermissions) {
    const QString fifo = path("fifo"), link = path("link"), device = path("device");
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, link));
    // A copy of /dev/null, where this process may make one.
    const bool root = ::mknod(native(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const QString& p : {fifo, link, device}) {
        if (p == device && !root) continue;
        struct stat before {
        }, after{};
        ASSERT_EQ(::lstat(native(p).constData(), &before), 0);
        EXPECT_EQ(savewaveform(p, patterned()), "Cannot save " + p + ": it is not a regular file");
        ASSERT_EQ(::lstat(native(p).constData(), &after), 0);
        EXPECT_EQ(std::tie(after.st_ino, after.st_mode), std::tie(before.st_ino, before.st_mode));
    }
    // A link to a regular file: written through, the link and the file's mode kept.
    const QString plain = path("plain.txt"), toplain = path("to-plain");
    ASSERT_TRUE(writefile(plain, "old\r\n") && QFile::link(plain, toplain));
    ASSERT_EQ(::chmod(native(plain).constData(), 0640), 0);
    EXPECT_EQ(savewaveform(toplain, patterned()), "");
    EXPECT_TRUE(QFileInfo(toplain).isSymLink());
    struct stat target {};
    ASSERT_EQ(::stat(native(plain).constData(), &target), 0);
    EXPECT_EQ(target.st_mode & 0777, 0640u);
    Waveform back{};
    EXPECT_EQ(loadwaveform(plain, back), "");
    EXPECT_EQ(back, patterned());
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

    // On a full 64 kB file system, where this process may mount one.
    const QString full = path("full");
    ASSERT_TRUE(QDir().mkpath(full));
    if (::mount("tmpfs", native(full).constData(), "tmpfs", 0, "size=64k") == 0) {
        ASSERT_EQ(savewaveform(full + "/w.txt", patterned()), "");
        writefile(full + "/filler", QByteArray(64 * 1024, 'x'));
        fails(full + "/w.txt", "No space left on device", patterned());
        ::umount(native(full).constData());
    }

    // In a folder that refuses new files, as an operator without root's
    // powers: a writable file is rewritten in place; a read-only one is not.
    const QString name = path("locked/w.txt");
    ASSERT_TRUE(QDir().mkpath(path("locked")));
    ASSERT_EQ(savewaveform(name, patterned()), "");
    ::chmod(native(path("locked")).constData(), 0555);
    {
        test::FilePermissionsApply permissions;
        ASSERT_EQ(savewaveform(name, fifty), "");
        EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"w.txt"});
        ::chmod(native(name).constData(), 0444);
        fails(name, "Permission denied", fifty);
        ::chmod(native(name).constData(), 0200);
        Waveform w{};
        EXPECT_EQ(loadwaveform(name, w), "Cannot load " + name + ": Permission denied");
    }
    ::chmod(native(path("locked")).constData(), 0755);
    EXPECT_TRUE(savewaveform(path("no folder/w.txt"), fifty).startsWith("Cannot save "));
    EXPECT_FALSE(QFile::exists(path("no folder/w.txt")));
}
