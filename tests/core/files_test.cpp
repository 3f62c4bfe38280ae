#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>

#include "waveform/files.h"

using namespace gaspuff;

namespace {

class WaveformFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray contents(const QString& name) {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static Waveform patterned() {
        Waveform w{};
        for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>(i % 97);
        return w;
    }
};

}  // namespace

TEST_F(WaveformFiles, SaveWritesOneLinePerEntryWithCrLf) {
    Waveform w{};
    ASSERT_EQ(savewaveform(path("zero.txt"), w), "");
    const QByteArray zero = contents("zero.txt");
    EXPECT_EQ(zero.size(), 3000);
    EXPECT_EQ(zero, QByteArray("0\r\n").repeated(1000));

    for (int i = 0; i < 10; ++i) w[i] = 50;
    ASSERT_EQ(savewaveform(path("fifty.txt"), w), "");
    const QByteArray fifty = contents("fifty.txt");
    EXPECT_EQ(fifty.size(), 3010);
    EXPECT_TRUE(fifty.startsWith(QByteArray("50\r\n").repeated(10) + "0\r\n"));
}

TEST_F(WaveformFiles, RoundTripOfRandomTablesIncludingNegatives) {
    auto* rng = QRandomGenerator::global();
    for (int round = 0; round < 20; ++round) {
        Waveform w{};
        for (auto& v : w) v = static_cast<int16_t>(rng->bounded(-32768, 32768));
        ASSERT_EQ(savewaveform(path("r.txt"), w), "");
        Waveform back{};
        back.fill(7);
        ASSERT_EQ(loadwaveform(path("r.txt"), back), "");
        ASSERT_EQ(back, w);
    }
}

TEST_F(WaveformFiles, SaveReplacesAnExistingFileWithoutAsking) {
    write("old.txt", "garbage that is longer than nothing\n");
    ASSERT_EQ(savewaveform(path("old.txt"), patterned()), "");
    Waveform back{};
    ASSERT_EQ(loadwaveform(path("old.txt"), back), "");
    EXPECT_EQ(back, patterned());
}

TEST_F(WaveformFiles, ShortAndEmptyFilesChangeOnlyTheirEntries) {
    write("empty.txt", "");
    Waveform w = patterned();
    ASSERT_EQ(loadwaveform(path("empty.txt"), w), "");
    EXPECT_EQ(w, patterned());

    QByteArray ten;
    for (int i = 0; i < 10; ++i) ten += "150\r\n";
    write("ten.txt", ten);
    ASSERT_EQ(loadwaveform(path("ten.txt"), w), "");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(w[i], 150);
    for (int i = 10; i < kWaveformLength; ++i) EXPECT_EQ(w[i], patterned()[i]);
}

TEST_F(WaveformFiles, AcceptsWhatSaveNeverWritesWhereTheMeaningIsPlain) {
    write("loose.txt", " -5 \n\t7\r\n+8\r9\r\n10\n\n\n");
    Waveform w{};
    ASSERT_EQ(loadwaveform(path("loose.txt"), w), "");
    EXPECT_EQ((std::vector<int>(w.begin(), w.begin() + 6)), (std::vector<int>{-5, 7, 8, 9, 10, 0}));
}

TEST_F(WaveformFiles, BadFilesFailWholeAndNameTheLine) {
    const Waveform before = patterned();
    const std::pair<QByteArray, QString> cases[] = {
        {"1\r\n2\r\nabc\r\n", "Line 3 of %1 is not a whole number"},
        {"1\r\n1.5\r\n", "Line 2 of %1 is not a whole number"},
        {"40000\r\n", "Line 1 of %1 is outside -32768..32767"},
        {"-32769\r\n", "Line 1 of %1 is outside -32768..32767"},
        {"1\r\n\r\n2\r\n", "Line 2 of %1 is empty"},
        {"1 2\r\n", "Line 1 of %1 is not a whole number"},
        {"-\r\n", "Line 1 of %1 is not a whole number"},
        {QByteArray("5\r\n") + QByteArray(1000, ' ') + "6\r\n", "Line 2 of %1 is not a whole number"},
        {QByteArray("1\r\n").repeated(1001), "%1 has more than 1000 entries"},
    };
    for (const auto& [bytes, message] : cases) {
        write("bad.txt", bytes);
        Waveform w = before;
        EXPECT_EQ(loadwaveform(path("bad.txt"), w), message.arg(path("bad.txt"))) << bytes.left(40).constData();
        EXPECT_EQ(w, before);
    }
}

TEST_F(WaveformFiles, TenMegabyteFileFailsQuicklyAndChangesNothing) {
    write("big.txt", QByteArray("12\r\n").repeated(10 * 1024 * 1024 / 4));
    Waveform w = patterned();
    EXPECT_EQ(loadwaveform(path("big.txt"), w), path("big.txt") + " has more than 1000 entries");
    EXPECT_EQ(w, patterned());
}

TEST_F(WaveformFiles, ExistenceTestWantsARegularFile) {
    write(".hidden.txt", "1\r\n");
    EXPECT_TRUE(isregularfile(path(".hidden.txt")));
    QDir(dir.path()).mkdir("folder");
    EXPECT_FALSE(isregularfile(path("folder")));
    EXPECT_FALSE(isregularfile(path("missing.txt")));
    EXPECT_FALSE(isregularfile("/dev/null"));
    EXPECT_FALSE(isregularfile(""));
}

TEST_F(WaveformFiles, UnusualNamesWork) {
    for (const QString& name : {QStringLiteral("with spaces.txt"), QStringLiteral("Wellenform-äöü-波形.txt"),
                               QStringLiteral("100%1.txt")}) {
        ASSERT_EQ(savewaveform(path(name), patterned()), "") << name.toStdString();
        Waveform w{};
        ASSERT_EQ(loadwaveform(path(name), w), "");
        EXPECT_EQ(w, patterned());
    }
}

TEST_F(WaveformFiles, SaveIntoAMissingFolderFailsWithADescription) {
    const QString error = savewaveform(path("nofolder/w.txt"), patterned());
    EXPECT_TRUE(error.startsWith("Cannot save " + path("nofolder/w.txt") + ": ")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path("nofolder/w.txt")));
}

TEST_F(WaveformFiles, SaveThatCannotCompleteLeavesTheOldFileIntact) {
    ASSERT_EQ(savewaveform(path("keep.txt"), patterned()), "");
    const QByteArray old = contents("keep.txt");
    // Limit the size of any file this process writes to well below a table.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Waveform other{};
    other.fill(55);
    const QString error = savewaveform(path("keep.txt"), other);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(error.startsWith("Cannot save " + path("keep.txt") + ": ")) << error.toStdString();
    EXPECT_EQ(contents("keep.txt"), old);
}

TEST(WaveformReader, ChunkingDoesNotMatter) {
    const QByteArray text = "1\r\n-2\r\n 3 \n4\r5";
    for (int size = 1; size <= 4; ++size) {
        WaveformReader r("f");
        for (qsizetype i = 0; i < text.size(); i += size) ASSERT_TRUE(r.feed(QByteArrayView(text).sliced(i, std::min<qsizetype>(size, text.size() - i))));
        ASSERT_TRUE(r.finish());
        ASSERT_EQ(r.count(), 5);
        EXPECT_EQ(r.entries()[1], -2);
        EXPECT_EQ(r.entries()[4], 5);
    }
}
