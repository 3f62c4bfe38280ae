// SPDX-License-Identifier: MIT
// The waveform file reader and loader.
//
// The first choice taken from the input picks where the file comes from:
// any bytes, or a table built from the input and written as Save writes it.
// Either way the reader gives the same verdict, message and entries whether
// it is fed the file whole or in pieces of any size (of a saved table: no
// error and the same 1000 entries), and loading the file from disk agrees
// with it. A failed load leaves the operator's table exactly as it was; a
// good one changes only the entries the file holds.
// The file lives in a private temporary folder (in memory where /dev/shm
// exists) under a name with a blank and a non-ASCII letter.
#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "waveform/files.h"

using namespace gaspuff;

namespace {

void check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "waveform file invariant broken: %s\n", what), std::abort();
}

QString filename;
Waveform before;  // the operator's table before a load: distinct entries, so a stray copy shows

// The error (empty for a good file) and the entries read.
using Outcome = std::pair<QString, std::vector<int16_t>>;

Outcome read(const QByteArray& text, qsizetype piece) {
    WaveformReader reader(filename);
    bool ok = true;
    for (qsizetype i = 0; ok && i < text.size(); i += piece) ok = reader.feed(text.mid(i, piece));
    ok = ok && reader.finish();
    check(ok == reader.error().isEmpty(), "the verdict and the error text disagree");
    check(reader.count() >= 0 && reader.count() <= kWaveformLength, "entry count out of range");
    if (!ok) return {reader.error(), {}};
    return {{}, {reader.entries().begin(), reader.entries().begin() + reader.count()}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static QTemporaryDir dir((QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) +
                             "/gaspuff-fuzz-XXXXXX");
    check(dir.isValid(), "cannot create the temporary folder");
    std::iota(before.begin(), before.end(), int16_t{-500});
    filename = dir.filePath(QStringLiteral("wave form \u00e4.txt"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool saved = in.ConsumeBool();
    const qsizetype piece = in.ConsumeIntegralInRange<qsizetype>(1, saved ? 7000 : 300);
    Waveform table{};
    // Runs of values, as real tables have, from the whole 16-bit range.
    for (int i = 0; saved && i < kWaveformLength;) {
        const int run = in.ConsumeIntegralInRange(1, 200);
        const int16_t value = in.ConsumeIntegral<int16_t>();
        for (int k = 0; k < run && i < kWaveformLength; ++k) table[i++] = value;
    }
    const QByteArray text = saved ? waveformfiletext(table)
                                  : QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    const Outcome whole = read(text, std::max<qsizetype>(text.size(), 1));
    check(read(text, piece) == whole, "the verdict depends on how the file is cut into pieces");
    check(!saved || whole == Outcome{{}, {table.begin(), table.end()}},
          "what Save writes does not read back as the same 1000 entries");

    QFile f(filename);
    check(saved ? savewaveform(filename, table).isEmpty()
                : f.open(QIODevice::WriteOnly) && f.write(text) == text.size() && f.flush(),
          "cannot write the test file (or Save failed)");
    // The file's entries in front, the rest as it was (all if it failed).
    Waveform loaded = before, want = before;
    check(loadwaveform(filename, loaded) == whole.first,
          "loading from disk and reading the bytes disagree");
    std::copy(whole.second.begin(), whole.second.end(), want.begin());
    check(loaded == want, "the table after a load is not the file's entries over the old one");
    return 0;
}
