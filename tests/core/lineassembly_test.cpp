// SPDX-License-Identifier: MIT
// Cutting received text into lines at carriage returns, within 1024 characters.
#include "link/lineassembly.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

using namespace gaspuff;

TEST(LineAssembly, CutsAtCarriageReturnsTakesTheLineFeedAfterOneAsItsEndWhateverTheChunking) {
    // Stream, the lines it gives, what waits afterwards. Chunks of 1 split
    // every CR LF pair across two chunks.
    const std::tuple<QByteArray, QByteArrayList, QByteArray> cases[] = {
        {"stop|12|on\rar", {"stop|12|on"}, "ar"},
        {"stop|1|off\r\narmed|4|off\r\n", {"stop|1|off", "armed|4|off"}, ""},
        {"abc\r\r\n42\rx\ny", {"abc", "", "42"}, "x\ny"},  // CR CR LF; a lone LF stays
        {"\nx\r\n\ny\n\r", {"\nx", "\ny\n"}, ""},          // LF first, after LF, before CR
        {QByteArray("a\0b\xff\r", 5), {QByteArray("a\0b\xff", 4)}, ""},
        {QByteArray(1024, 'a'), {}, QByteArray(1024, 'a')},  // as much as may wait
    };
    for (const auto& [stream, lines, rest] : cases) {
        for (qsizetype size : {qsizetype(1), qsizetype(7), stream.size()}) {
            LineAssembly rxbuffer;
            QByteArrayList got;
            for (qsizetype i = 0; i < stream.size(); i += size)
                receivechunk(rxbuffer,
                             QByteArrayView(stream).sliced(i, std::min(size, stream.size() - i)),
                             [&](const QByteArray& l) { got << l; });
            EXPECT_EQ(got, lines) << stream.left(20).constData() << " in chunks of " << size;
            EXPECT_EQ(rxbuffer.text, rest);
        }
    }
}

TEST(LineAssembly, MoreThan1024WaitingIsDroppedWholeButABurstHandedOverInPiecesIsNot) {
    LineAssembly rxbuffer{QByteArray(1000, 'a')};
    QByteArrayList got;
    const auto keep = [&](const QByteArray& l) { got << l; };
    receivechunk(rxbuffer, "1\r2\r3\r" + QByteArray(19, 'c'), keep);  // 1025 with the rest
    EXPECT_TRUE(got.isEmpty());
    EXPECT_TRUE(rxbuffer.text.isEmpty());
    receivechunk(rxbuffer, "ok\r", keep);
    EXPECT_EQ(got, QByteArrayList{"ok"});

    got.clear();
    receive(rxbuffer, QByteArray("42\r").repeated(2000), keep);
    EXPECT_EQ(got, QByteArrayList(2000, "42"));
    EXPECT_TRUE(rxbuffer.text.isEmpty());

    // After a long partial line only the burst's first piece goes with it:
    // 512 characters, 170 lines and the "42" of the next, whose CR ends an
    // empty line.
    got.clear();
    rxbuffer.text = QByteArray(1000, 'a');
    receive(rxbuffer, QByteArray("42\r").repeated(2000), keep);
    EXPECT_EQ(got, QByteArrayList{""} + QByteArrayList(2000 - 171, "42"));
}
