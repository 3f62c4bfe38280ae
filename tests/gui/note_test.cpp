// The waveform note and the A/B window on their own: what they show, what
// assistive technology reads, what a click asks for.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include "app/differenceswindow.h"
#include "app/waveformnote.h"
#include "waveform/graph.h"

using namespace gaspuff;

TEST(WaveformNote, ShowsWhatFitsAndGivesTheWholeSentenceToTooltipAndAccessibleName) {
    QWidget window;
    WaveformNote note(&window);
    note.setGeometry(0, 0, 120, 60);
    QSignalSpy clicks(&note, &WaveformNote::clicked);
    const QString longer =
        "Controller's waveform differs from the one sent at 14:51:07 in 7 entries: "
        "t=1 sent 0 holds 1, t=2 sent 0 holds 2, t=3 sent 0 holds 3, t=4 sent 0 holds 4, "
        "t=5 sent 0 holds 5, and 2 more";
    // Sentence, clickable, and whether the shown text is cut short.
    const std::tuple<QString, bool, bool> rows[] = {
        {"Controller holds the waveform sent at 14:51:07", false, false},
        {longer, true, true},
        {"", true, false},  // nothing to click
    };
    for (const auto& [sentence, clickable, elided] : rows) {
        note.setsentence("stale", true);
        note.setsentence(sentence, clickable);
        EXPECT_EQ(note.toolTip(), sentence);
        EXPECT_EQ(note.accessibleName(), sentence);
        // Shown whole when it fits, else cut short with an ellipsis.
        EXPECT_EQ(note.text().endsWith(QChar(0x2026)), elided) << note.text().toStdString();
        EXPECT_EQ(note.text().simplified() == sentence, !elided);
        EXPECT_LE(note.text().count('\n') + 1, 60 / note.fontMetrics().lineSpacing());
        QTest::mouseClick(&note, Qt::LeftButton);
        EXPECT_EQ(clicks.size(), clickable && !sentence.isEmpty() ? 1 : 0);
        EXPECT_EQ(note.cursor().shape(), clicks.size() ? Qt::PointingHandCursor : Qt::ArrowCursor);
        clicks.clear();
    }
    note.setsentence(longer, true);
    note.clearsentence();
    EXPECT_EQ(note.text() + note.toolTip() + note.accessibleName(), "");
    QTest::mouseClick(&note, Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 0);
}

TEST(DifferencesWindow, DrawsTheReferenceFaintUnderTheReceivedAndListsEveryDifference) {
    QWidget panel;
    DifferencesWindow window(&panel);
    Waveform sent{}, received{};
    std::fill(sent.begin() + 100, sent.begin() + 400, 60);
    std::fill(received.begin() + 100, received.begin() + 400, 60);
    received[250] = 0, received[500] = 1, received[750] = 1;
    window.showtables(sent, received, "the waveform sent at 14:51:07");
    auto* list = window.findChild<QListWidget*>("lstDifferences");
    ASSERT_TRUE(list);
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    EXPECT_EQ(items, QStringList({"t=250 sent 60 holds 0", "t=500 sent 0 holds 1",
                                  "t=750 sent 0 holds 1"}));
    EXPECT_EQ(window.windowTitle(), "Differences from the waveform sent at 14:51:07");
    EXPECT_TRUE(window.isVisible() && window.isWindow());

    // Where only the reference has a dot it shows faint; the controller's red.
    window.showtables(sent, Waveform{}, "the table shown before", false);
    ASSERT_EQ(list->count(), 300);
    EXPECT_EQ(list->item(0)->text(), "t=100 shown 60 holds 0");
    const QImage image = window.findChild<QLabel*>("difgraph")->pixmap().toImage();
    const QSize size = DifferencesWindow::kGraphSize;
    const int x = scalegraphx(250, size.width());
    EXPECT_EQ(image.pixel(x, scalegraphy(60, size.height())), DifferencesWindow::kFaint);
    EXPECT_EQ(image.pixel(x, scalegraphy(0, size.height())), qRgb(255, 0, 0));

    window.showtables(received, received, "the table shown before", false);
    EXPECT_EQ(list->count(), 0);
}
