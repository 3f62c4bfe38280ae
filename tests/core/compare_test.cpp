// A read-back held against the table it should equal, and the fingerprint
// that names a table in the session log.
#include "waveform/compare.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "protocol/sessionlog.h"

using namespace gaspuff;

namespace {

Waveform with(std::initializer_list<std::pair<int, int>> entries, Waveform w = {}) {
    for (auto [t, v] : entries) w[t] = static_cast<int16_t>(v);
    return w;
}

// sha256sum of the files Save writes for these tables.
const QByteArray kZeroDigest = "a8fda6ece8d8a254fda86ce7d1ab9fe73ca511c90951080ccb1b624e770a66ff";
const QByteArray kFiftyDigest = "a064b4b977045b54dac58c1507ee573b065e5fea8adb8bdc5588786872b4e305";
const Waveform kFifty = with(
    {{0, 50}, {1, 50}, {2, 50}, {3, 50}, {4, 50}, {5, 50}, {6, 50}, {7, 50}, {8, 50}, {9, 50}});

}  // namespace

TEST(Comparison, SaysWhetherTheControllerHoldsTheReferenceAndWhereNot) {
    const Waveform pulse = with({{250, 60}});
    const Waveform corrupt = with({{500, 1}, {750, 1}});
    const Waveform seven = with({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}});
    // Reference, received, when it was sent (empty: not sent), the sentence.
    const std::tuple<Waveform, Waveform, QString, QString> rows[] = {
        {pulse, pulse, "14:51:07", "Controller holds the waveform sent at 14:51:07"},
        {pulse, corrupt, "14:51:07",
         "Controller's waveform differs from the one sent at 14:51:07 in 3 entries: "
         "t=250 sent 60 holds 0, t=500 sent 0 holds 1, t=750 sent 0 holds 1"},
        {{},
         with({{999, 100}}),
         "09:00:00",
         "Controller's waveform differs from the one sent at 09:00:00 in 1 entry: "
         "t=999 sent 0 holds 100"},
        {{},
         seven,
         "09:00:00",
         "Controller's waveform differs from the one sent at 09:00:00 in 7 entries: "
         "t=1 sent 0 holds 1, t=2 sent 0 holds 2, t=3 sent 0 holds 3, t=4 sent 0 holds 4, "
         "t=5 sent 0 holds 5, and 2 more"},
        {corrupt, corrupt, "", "Controller's waveform equals the table shown before"},
        {seven, with({{6, 0}, {7, 0}}, seven), "",
         "Controller's waveform differs from the table shown before in 2 entries: "
         "t=6 shown 6 holds 0, t=7 shown 7 holds 0"},
        {seven, with({{0, 9}, {5, 5}, {6, 6}, {7, 7}}), "",
         "Controller's waveform differs from the table shown before in 5 entries: "
         "t=0 shown 0 holds 9, t=1 shown 1 holds 0, t=2 shown 2 holds 0, t=3 shown 3 holds 0, "
         "t=4 shown 4 holds 0"},  // five listed and nothing more: "and 1 more" is not said
    };
    for (const auto& [reference, received, sentat, sentence] : rows)
        EXPECT_EQ(comparisonsentence(reference, received, sentat).toStdString(),
                  sentence.toStdString());
}

TEST(Fingerprint, IsTheSha256OfTheSavedFileAndNamesTheTableInTheLog) {
    EXPECT_EQ(fingerprint({}), kZeroDigest);
    EXPECT_EQ(fingerprint(kFifty), kFiftyDigest);

    QTemporaryDir dir;
    {
        SessionLog log(dir.filePath("session.log"));
        log.shot();  // nothing sent or read back yet
        log.waveform("sent", kFifty);
        log.file("saved", "waveform1.txt", {});
        log.shot();
        log.waveform("received", {});
        log.shot();
    }
    QFile f(dir.filePath("session.log"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QList<QByteArray> records;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty()) records << line.mid(line.indexOf(" -- ") + 4);
    ASSERT_EQ(records.size(), 6);
    EXPECT_EQ(records[0], "shoot sha256 unknown: no waveform sent or read back in this run");
    EXPECT_TRUE(records[1].startsWith("waveform sent 50 50 "));
    EXPECT_TRUE(records[1].endsWith(" 0 0 sha256=" + kFiftyDigest));
    EXPECT_EQ(records[2], "file saved waveform1.txt sha256=" + kZeroDigest);
    EXPECT_EQ(records[3], "shoot sha256=" + kFiftyDigest);  // the save fired nothing
    EXPECT_EQ(records[5], "shoot sha256=" + kZeroDigest);
}
