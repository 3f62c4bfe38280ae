// A read-back held against the table it should equal.
#include "waveform/compare.h"

#include <gtest/gtest.h>

#include "tables.h"

using namespace gaspuff;
using test::fromruns;

TEST(Comparison, SaysWhetherTheControllerHoldsTheReferenceAndWhereNot) {
    const Waveform pulse = fromruns({{250, 60}, {251, 0}});
    const Waveform corrupt = fromruns({{500, 1}, {501, 0}, {750, 1}, {751, 0}});
    const Waveform seven = test::tableof([](int i) { return i <= 7 ? i : 0; });
    // Reference, received, when it was sent (empty: not sent), the sentence.
    const std::tuple<Waveform, Waveform, QString, QString> rows[] = {
        {pulse, pulse, "14:51:07", "Controller holds the waveform sent at 14:51:07"},
        {pulse, corrupt, "14:51:07",
         "Controller's waveform differs from the one sent at 14:51:07 in 3 entries: "
         "t=250 sent 60 holds 0, t=500 sent 0 holds 1, t=750 sent 0 holds 1"},
        {{},
         fromruns({{999, 100}}),
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
        {seven, fromruns({{0, 9}, {1, 0}, {5, 5}, {6, 6}, {7, 7}, {8, 0}}), "",
         "Controller's waveform differs from the table shown before in 5 entries: "
         "t=0 shown 0 holds 9, t=1 shown 1 holds 0, t=2 shown 2 holds 0, t=3 shown 3 holds 0, "
         "t=4 shown 4 holds 0"},  // five listed and nothing more: "and 1 more" is not said
    };
    for (const auto& [reference, received, sentat, sentence] : rows)
        EXPECT_EQ(comparisonsentence(reference, received, sentat).toStdString(),
                  sentence.toStdString());
}
