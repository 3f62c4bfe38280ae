#include <gtest/gtest.h>

#include <QByteArrayList>

#include "link/lineassembly.h"

using namespace gaspuff;

namespace {

struct Assembly {
    QByteArray rxbuffer;
    QByteArrayList lines;
    void receive(QByteArrayView chunk) {
        receivechunk(rxbuffer, chunk, [this](const QByteArray& line) { lines.append(line); });
    }
};

}  // namespace

TEST(LineAssembly, HandsOverALineSplitOverSeveralEventsOnceComplete) {
    Assembly a;
    a.receive("st");
    a.receive("op|1");
    EXPECT_TRUE(a.lines.isEmpty());
    a.receive("2|on\rar");
    EXPECT_EQ(a.lines, QByteArrayList{"stop|12|on"});
    EXPECT_EQ(a.rxbuffer, "ar");
}

TEST(LineAssembly, CutsOnlyAtCarriageReturns) {
    Assembly a;
    a.receive("abc\r\r\n42\rx\ny");
    EXPECT_EQ(a.lines, (QByteArrayList{"abc", "", "\n42"}));
    EXPECT_EQ(a.rxbuffer, "x\ny");
}

TEST(LineAssembly, KeepsExactly1024CharactersAndDropsMoreWhole) {
    Assembly a;
    a.receive(QByteArray(1000, 'a'));
    a.receive(QByteArray(24, 'b'));
    EXPECT_EQ(a.rxbuffer.size(), 1024);

    Assembly b;
    b.receive(QByteArray(1000, 'a'));
    // Complete lines are lost with the rest once the limit is passed.
    b.receive("1\r2\r3\r" + QByteArray(18, 'c') + "\r");
    EXPECT_TRUE(b.lines.isEmpty());
    EXPECT_TRUE(b.rxbuffer.isEmpty());
    b.receive("ok\r");
    EXPECT_EQ(b.lines, QByteArrayList{"ok"});
}

TEST(LineAssembly, DropsA64KiBBurstWithoutACarriageReturn) {
    Assembly a;
    a.receive(QByteArray(64 * 1024, 'z'));
    EXPECT_TRUE(a.rxbuffer.isEmpty());
    EXPECT_TRUE(a.lines.isEmpty());
}

TEST(LineAssembly, PassesBinaryBytesThroughAsCharacters) {
    Assembly a;
    a.receive(QByteArray("a\0b\xff\r", 5));
    ASSERT_EQ(a.lines.size(), 1);
    EXPECT_EQ(a.lines[0], QByteArray("a\0b\xff", 4));
}

TEST(LineAssembly, GivesTheSameLinesWhateverTheChunking) {
    const QByteArray stream = "stop|1|on\r12\r\r\nmsg one\rarmed|2|off\r";
    for (int size = 1; size <= 7; ++size) {
        Assembly a;
        for (qsizetype i = 0; i < stream.size(); i += size) a.receive(stream.mid(i, size));
        EXPECT_EQ(a.lines, (QByteArrayList{"stop|1|on", "12", "", "\nmsg one", "armed|2|off"}))
            << "chunks of " << size;
        EXPECT_TRUE(a.rxbuffer.isEmpty());
    }
}

TEST(LineAssembly, ABurstPastTheLimitIsHandedOverInPiecesAndLosesNoLine) {
    QByteArray rxbuffer;
    int lines = 0;
    receive(rxbuffer, QByteArray("42\r").repeated(2000), [&](const QByteArray& l) {
        lines += l == "42";
    });
    EXPECT_EQ(lines, 2000);
    EXPECT_TRUE(rxbuffer.isEmpty());
}
