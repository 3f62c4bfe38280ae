// Waveform files: what Save writes, what Load takes and refuses, and what
// neither may do to the operator's table or to things that are not files.
#include "waveform/files.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>

using namespace gaspuff;

namespace {

// Root passes every file permission check. For its lifetime this thread
// gives up the two capabilities that allow that, so permissions apply as they
// do for an operator; the destructor takes them back.
class FilePermissionsApply {
  public:
    FilePermissionsApply() {
        if (::geteuid() != 0) return;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, saved_, sizeof lowered);
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~FilePermissionsApply() {
        if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    }
    FilePermissionsApply(const FilePermissionsApply&) = delete;
    FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};

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
        FilePermissionsApply permissions;
        ASSERT_EQ(savewaveform(name, fifty), "");
        EXPECT_EQ(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"w.txt"});
        ::chmod(native(name).constData(), 0444);
        fails(name, "Permission denied", fifty);
        ::chmod(native(name).constData(), 0200);
        Waveform w{};
        EXPECT_EQ(loadwaveform(name, w), "Cannot load " + name + ": Permission denied");
    }
    ::chmod(native(path("locked")).constData(), 0755);
}
