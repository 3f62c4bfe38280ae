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
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "waveform/files.h"

using namespace gaspuff;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "waveform file invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

QByteArray folder;
QString filename;
QByteArray nativename;

void removefolder() {
    ::unlink(nativename.constData());
    ::rmdir(folder.constData());
}

struct Outcome {
    bool ok = false;
    QString error;
    int count = 0;
    std::vector<int16_t> entries;

    bool operator==(const Outcome&) const = default;
};

Outcome read(QByteArrayView text, qsizetype piece) {
    WaveformReader reader(filename);
    bool ok = true;
    for (qsizetype i = 0; ok && i < text.size(); i += piece)
        ok = reader.feed(text.sliced(i, std::min(piece, text.size() - i)));
    if (ok) ok = reader.finish();
    check(ok == reader.error().isEmpty(), "the verdict and the error text disagree");
    check(reader.count() >= 0 && reader.count() <= kWaveformLength, "entry count out of range");
    const int count = ok ? reader.count() : 0;
    return {ok, reader.error(), count,
            std::vector<int16_t>(reader.entries().begin(), reader.entries().begin() + count)};
}

void writefile(QByteArrayView bytes) {
    const int fd = ::open(nativename.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "cannot create the test file");
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        check(n > 0, "cannot write the test file");
        done += n;
    }
    ::close(fd);
}

Waveform startingtable() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>((i * 37) % 201 - 100);
    return w;
}

void anybytes(FuzzedDataProvider& in) {
    const qsizetype piece = in.ConsumeIntegralInRange<qsizetype>(1, 300);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const QByteArrayView text(bytes.data(), static_cast<qsizetype>(bytes.size()));

    const Outcome whole = read(text, std::max<qsizetype>(text.size(), 1));
    check(read(text, piece) == whole, "the verdict depends on how the file is cut into pieces");

    writefile(text);
    const Waveform before = startingtable();
    Waveform table = before;
    const QString error = loadwaveform(filename, table);
    check(error == whole.error, "loading from disk and reading the bytes disagree");
    if (!error.isEmpty()) {
        check(table == before, "a failed load changed the table");
    } else {
        check(std::equal(whole.entries.begin(), whole.entries.end(), table.begin()),
              "loaded entries differ");
        check(std::equal(table.begin() + whole.count, table.end(), before.begin() + whole.count),
              "a load changed entries past the end of the file");
    }
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

    const QByteArray text = waveformfiletext(table);
    const Outcome back = read(text, piece);
    check(back.ok, "what Save writes does not read back");
    check(back.count == kWaveformLength, "what Save writes reads back short");
    check(std::equal(back.entries.begin(), back.entries.end(), table.begin()),
          "what Save writes reads back changed");

    check(savewaveform(filename, table).isEmpty(), "Save failed");
    Waveform loaded = startingtable();
    check(loadwaveform(filename, loaded).isEmpty(), "Load of a saved file failed");
    check(loaded == table, "Save then Load changed the table");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    QByteArray base = QDir(QStringLiteral("/dev/shm")).exists()
                          ? "/dev/shm"
                          : QFile::encodeName(QDir::tempPath());
    folder = base + "/gaspuff-fuzz-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    filename = QFile::decodeName(folder) + QStringLiteral("/wave form \u00e4.txt");
    nativename = QFile::encodeName(filename);
    std::atexit(removefolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        savedtable(in);
    else
        anybytes(in);
    return 0;
}
