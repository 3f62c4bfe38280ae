// Inputs the fuzz targets found to break something, kept under
// tests/fuzz/regressions/<target>/, and hostile inputs the rest of the suite
// does not reach: the exact edge of the receive buffer, NUL and 0xFF during a
// read-back and in a file, 10 MB files, folders and files this user may not
// use.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <cstring>

#include "app/form1.h"
#include "fakeport.h"
#include "permissions.h"
#include "link/lineassembly.h"
#include "waveform/files.h"
#include "app/wavegraph.h"

using namespace gaspuff;

namespace {

QString regression(const QString& name) {
#ifdef GASPUFF_FUZZ_REGRESSIONS
    const QString folder = QStringLiteral(GASPUFF_FUZZ_REGRESSIONS);
#else
    const QString folder =
        QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/regressions");
#endif
    return folder + '/' + name;
}

QByteArray contents(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Waveform patterned() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>(i % 89 - 20);
    return w;
}

}  // namespace

// Found by fuzz_wavefile: the reader trimmed a view of its line buffer,
// released the buffer, then parsed the view. Every non-empty line was read
// from freed memory; only a sanitized build sees it fail.
TEST(FuzzRegressions, WaveformFileLinesAreParsedFromLiveMemory) {
    const QString crash = regression(QStringLiteral("wavefile/line-read-after-release"));
    ASSERT_FALSE(contents(crash).isEmpty()) << crash.toStdString();
    Waveform w = patterned();
    EXPECT_EQ(loadwaveform(crash, w), QStringLiteral("Line 2 of %1 is empty").arg(crash));
    EXPECT_EQ(w, patterned());

    // The same path for lines that load: every kind of trimming and sign.
    WaveformReader reader(QStringLiteral("f"));
    ASSERT_TRUE(reader.feed(" 17\r\n\t-3 \n+250\r-32768\r\n"));
    ASSERT_TRUE(reader.finish());
    ASSERT_EQ(reader.count(), 4);
    EXPECT_EQ((std::vector<int>(reader.entries().begin(), reader.entries().begin() + 4)),
              (std::vector<int>{17, -3, 250, -32768}));
}

namespace {

class HostileInput : public ::testing::Test {
  protected:
    test::FakePort* port = new test::FakePort;
    Form1 form{port};
    QTemporaryDir dir;
    QString status() const { return form.txtStatus->text(); }
};

// True when this process really cannot create a file in folder.
bool writingrefused(const QString& folder) {
    const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/probe"));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    ::close(fd);
    ::unlink(probe.constData());
    return false;
}

}  // namespace

TEST_F(HostileInput, StatusLineExactlyFillingTheReceiveBufferIsShownOneMoreIsDroppedWhole) {
    form.cmdLigar_Click();
    // 1023 characters and the carriage return: the buffer's 1024 exactly,
    // arriving as the serial layer hands it over, 512 at a time.
    const QByteArray uptime(1023 - 9, '7');
    const QByteArray full = "stop|" + uptime + "|off\r";
    ASSERT_EQ(full.size(), kRxBufferLimit);
    port->feed(full.left(512));
    port->feed(full.mid(512));
    EXPECT_EQ(form.lblState->text(), "stop");
    EXPECT_EQ(form.lblUptime->text(), QString::fromLatin1(uptime));
    EXPECT_EQ(form.lblAutoArm->text(), "off");
    EXPECT_TRUE(form.rxbuffer.isEmpty());

    // A status line of 1024 characters: with its carriage return the buffer
    // would hold 1025, so the line goes whole and the next one is intact.
    const QByteArray over = "armed|" + QByteArray(1024 - 9, '8') + "|on\r";
    ASSERT_EQ(over.size(), kRxBufferLimit + 1);
    port->feed(over.left(512));
    port->feed(over.mid(512));
    EXPECT_EQ(form.lblState->text(), "stop");
    EXPECT_TRUE(form.rxbuffer.isEmpty());
    port->feed("standby|3|on\r");
    EXPECT_EQ(form.lblState->text(), "standby");
    EXPECT_EQ(form.lblUptime->text(), "3");
}

TEST_F(HostileInput, TenMegabyteFileThroughTheWindowKeepsTableAndGraph) {
    form.waveform = patterned();
    form.drawgraph();
    const QImage graph = form.wavegraph->image();
    const QString name = dir.filePath(QStringLiteral("big file.txt"));
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // Entries in range all along: only their number is wrong.
    f.write(QByteArray("55\r\n").repeated(10 * 1024 * 1024 / 4));
    f.close();
    form.filenametext->setText(name);
    form.cmdLoad_Click();
    EXPECT_EQ(status(), name + " has more than 1000 entries");
    EXPECT_EQ(form.waveform, patterned());
    EXPECT_EQ(form.wavegraph->image(), graph);
}

TEST_F(HostileInput, TenMegabytesOfEmptyLinesAfterTheTableStillLoad) {
    const QString name = dir.filePath(QStringLiteral("trailing.txt"));
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(waveformfiletext(patterned()) + QByteArray("\r\n").repeated(5 * 1024 * 1024));
    f.close();
    Waveform w{};
    EXPECT_EQ(loadwaveform(name, w), "");
    EXPECT_EQ(w, patterned());
}

TEST_F(HostileInput, FoldersAndFilesWithoutPermissionFailWithTheReasonAndChangeNothing) {
    const QString locked = dir.filePath(QStringLiteral("nur lesen \u00fc"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("nur lesen \u00fc")));
    const QString unreadable = dir.filePath(QStringLiteral("geheim \u00e9.txt"));
    ASSERT_EQ(savewaveform(unreadable, patterned()), "");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(QFile::setPermissions(unreadable, QFileDevice::WriteOwner));

    test::FilePermissionsApply permissions;
    if (!writingrefused(locked))
        GTEST_SKIP() << "file permissions are not enforced for this process";

    form.waveform.fill(9);
    const Waveform nines = form.waveform;
    const QString target = locked + QStringLiteral("/w.txt");
    form.filenametext->setText(target);
    form.cmdSave_Click();
    EXPECT_TRUE(status().startsWith("Cannot save " + target + ": ")) << status().toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(
        QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    form.filenametext->setText(unreadable);
    form.cmdLoad_Click();
    EXPECT_TRUE(status().startsWith("Cannot load " + unreadable + ": ")) << status().toStdString();
    EXPECT_EQ(form.waveform, nines);
}

TEST_F(HostileInput, NulAndFfBytesDuringAReadBackAreMessagesNotPoints) {
    form.cmdLigar_Click();
    form.cmdGet_Click();
    port->feed(
        QByteArray("5\r5\0\r\xff\r\xff"
                   "7\r\0\r6\r",
                   14));
    EXPECT_EQ(form.rx.pointcount, 2);
    EXPECT_EQ(form.rx.boguscount, 0);
    EXPECT_EQ(form.rx.staging[0], 5);
    EXPECT_EQ(form.rx.staging[1], 6);
    EXPECT_TRUE(form.rx.getting);
    ASSERT_EQ(form.lstMessages->count(), 4);
    EXPECT_EQ(form.lstMessages->item(0)->text(), QString(QChar(0)));
    EXPECT_EQ(form.lstMessages->item(3)->text(), QString::fromLatin1("5\0", 2));
}

TEST_F(HostileInput, NulAndFfBytesInAWaveformFileFailItWhole) {
    const QString name = dir.filePath(QStringLiteral("binary.txt"));
    const std::pair<QByteArray, int> cases[] = {
        {QByteArray("1\r\n2\0\r\n", 7), 2},
        {QByteArray("\xff\r\n"), 1},
        {QByteArray("1\r\n2\r\n\0", 7), 3},
    };
    for (const auto& [bytes, line] : cases) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        Waveform w = patterned();
        EXPECT_EQ(loadwaveform(name, w),
                  QStringLiteral("Line %1 of %2 is not a whole number").arg(line).arg(name));
        EXPECT_EQ(w, patterned());
    }
}
