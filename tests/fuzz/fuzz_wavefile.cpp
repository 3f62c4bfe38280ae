// The waveform file reader and loader.
//
// The first choice taken from the input picks one of two checks:
//   - Any bytes as a file. The reader gives the same verdict, message and
//     entries whether it is fed the file whole or in pieces of any size, and
//     loading the file from disk agrees with it. A failed load leaves the
//     operator's table exactly as it was; a good one changes only the entries
//     the file holds.
//   - A table built from the input. What Save writes reads back as the same
//     1000 entries, through the reader in pieces and through Save and Load on
//     disk.
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
    if (ok) return;
    std::fprintf(stderr, "waveform file invariant broken: %s\n", what);
    std::abort();
}

QString filename;
Waveform before;  // the operator's table before a load: distinct entries, so a stray copy shows

struct Outcome {
    QString error;  // empty for a good file
    std::vector<int16_t> entries;
    bool operator==(const Outcome&) const = default;
};

Outcome read(QByteArrayView text, qsizetype piece) {
    WaveformReader reader(filename);
    bool ok = true;
    for (qsizetype i = 0; ok && i < text.size(); i += piece)
        ok = reader.feed(text.sliced(i, std::min(piece, text.size() - i)));
    ok = ok && reader.finish();
    check(ok == reader.error().isEmpty(), "the verdict and the error text disagree");
    check(reader.count() >= 0 && reader.count() <= kWaveformLength, "entry count out of range");
    if (!ok) return {reader.error(), {}};
    return {{}, {reader.entries().begin(), reader.entries().begin() + reader.count()}};
}

void anybytes(FuzzedDataProvider& in) {
    const qsizetype piece = in.ConsumeIntegralInRange<qsizetype>(1, 300);
    const QByteArray text = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    const Outcome whole = read(text, std::max<qsizetype>(text.size(), 1));
    check(read(text, piece) == whole, "the verdict depends on how the file is cut into pieces");

    QFile file(filename);
    check(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush(),
          "cannot write the test file");
    Waveform table = before;
    check(loadwaveform(filename, table) == whole.error,
          "loading from disk and reading the bytes disagree");
    Waveform want = before;  // the file's entries in front, the rest as it was (all if it failed)
    std::copy(whole.entries.begin(), whole.entries.end(), want.begin());
    check(table == want, "the table after a load is not the file's entries over the old one");
}

void savedtable(FuzzedDataProvider& in) {
    const qsizetype piece = in.ConsumeIntegralInRange<qsizetype>(1, 7000);
    Waveform table{};
    // Runs of values, as real tables have, from the whole 16-bit range.
    for (int i = 0; i < kWaveformLength;) {
        const int run = in.ConsumeIntegralInRange(1, 200);
        const int16_t value = in.ConsumeIntegral<int16_t>();
        for (int k = 0; k < run && i < kWaveformLength; ++k) table[i++] = value;
    }
    check(read(waveformfiletext(table), piece) == Outcome{{}, {table.begin(), table.end()}},
          "what Save writes does not read back as the same 1000 entries");
    check(savewaveform(filename, table).isEmpty(), "Save failed");
    Waveform loaded = before;
    check(loadwaveform(filename, loaded).isEmpty(), "Load of a saved file failed");
    check(loaded == table, "Save then Load changed the table");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QString shm = QStringLiteral("/dev/shm");  // in memory, where there is one
    static QTemporaryDir dir((QDir(shm).exists() ? shm : QDir::tempPath()) +
                             "/gaspuff-fuzz-XXXXXX");
    check(dir.isValid(), "cannot create the temporary folder");
    std::iota(before.begin(), before.end(), int16_t{-500});
    filename = dir.filePath(QStringLiteral("wave form \u00e4.txt"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    in.ConsumeBool() ? savedtable(in) : anybytes(in);
    return 0;
}
