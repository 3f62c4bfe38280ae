// Cutting received text into lines at carriage returns, within 1024 characters.
#include "link/lineassembly.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

using namespace gaspuff;

TEST(LineAssembly, CutsOnlyAtCarriageReturnsWhateverTheChunking) {
    // Stream, the lines it gives, what waits afterwards.
    const std::tuple<QByteArray, QByteArrayList, QByteArray> cases[] = {
        {"stop|12|on\rar", {"stop|12|on"}, "ar"},
        {"abc\r\r\n42\rx\ny", {"abc", "", "\n42"}, "x\ny"},
        {QByteArray("a\0b\xff\r", 5), {QByteArray("a\0b\xff", 4)}, ""},
        {QByteArray(1000, 'a') + QByteArray(24, 'b'),
         {},
         QByteArray(1000, 'a') + QByteArray(24, 'b')},
    };
    for (const auto& [stream, lines, rest] : cases) {
        for (qsizetype size : {qsizetype(1), qsizetype(7), stream.size()}) {
            QByteArray rxbuffer;
            QByteArrayList got;
            for (qsizetype i = 0; i < stream.size(); i += size)
                receivechunk(rxbuffer,
                             QByteArrayView(stream).sliced(i, std::min(size, stream.size() - i)),
                             [&](const QByteArray& l) { got << l; });
            EXPECT_EQ(got, lines) << stream.left(20).constData() << " in chunks of " << size;
            EXPECT_EQ(rxbuffer, rest);
        }
    }
}

TEST(LineAssembly, MoreThan1024WaitingIsDroppedWholeButABurstHandedOverInPiecesIsNot) {
    QByteArray rxbuffer(1000, 'a');
    QByteArrayList got;
    const auto keep = [&](const QByteArray& l) { got << l; };
    receivechunk(rxbuffer, "1\r2\r3\r" + QByteArray(19, 'c'), keep);  // 1025 with the rest
    EXPECT_TRUE(got.isEmpty());
    EXPECT_TRUE(rxbuffer.isEmpty());
    receivechunk(rxbuffer, "ok\r", keep);
    EXPECT_EQ(got, QByteArrayList{"ok"});

    got.clear();
    receive(rxbuffer, QByteArray("42\r").repeated(2000), keep);
    EXPECT_EQ(got, QByteArrayList(2000, "42"));
    EXPECT_TRUE(rxbuffer.isEmpty());
}
