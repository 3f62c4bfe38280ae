// SPDX-License-Identifier: MIT
// The receive path: bytes as a serial port delivers them, through line
// assembly and line interpretation.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>

#include "app/form1.h"
#include "link/lineassembly.h"
#include "link/serialport.h"
#include "protocol/interpreter.h"

using namespace gaspuff;

namespace {

// The answer to "get": 1000 point lines, 4,000 bytes for a table of hundreds.
QByteArray readbackbytes() {
    QByteArray bytes;
    for (int i = 0; i < kWaveformLength; ++i) bytes += QByteArray::number(100 - i % 2) + '\r';
    return bytes;
}

// Chunk sizes from 1 to 64 bytes, as a serial port groups a burst.
std::vector<QByteArrayView> chunked(const QByteArray& bytes) {
    std::vector<QByteArrayView> chunks;
    for (qsizetype i = 0, n = 1; i < bytes.size(); i += n, n = n % 64 + 1)
        chunks.emplace_back(bytes.constData() + i, std::min(n, bytes.size() - i));
    return chunks;
}

void readback_core(benchmark::State& state) {
    const QByteArray bytes = readbackbytes();
    const auto chunks = chunked(bytes);
    for (auto _ : state) {
        LineAssembly rxbuffer;
        Reception rx;
        rx.getting = true;
        Waveform waveform{};
        for (QByteArrayView c : chunks)
            receivechunk(rxbuffer, c,
                         [&](const QByteArray& line) { interpretline(line, rx, waveform); });
        if (rx.getting) state.SkipWithError("read-back did not complete");
        benchmark::DoNotOptimize(waveform);
    }
}

// A port that hands the window prepared chunks.
class ReplayPort : public SerialPort {
  public:
    QByteArrayView next;
    OpenResult open() override { return Opened; }
    qint64 close() override { return 0; }
    bool isopen() const override { return true; }
    bool output(const QByteArray&) override { return true; }
    QByteArray input() override { return next.toByteArray(); }
    QString errorstring() const override { return {}; }
    void deliver(QByteArrayView chunk) {
        next = chunk;
        emit received();
    }
};

// The same read-back from Get through the window's session and handlers,
// ending with the graph's redraw at the 1000th point.
void readback_window(benchmark::State& state) {
    auto* port = new ReplayPort;
    Form1 form(port);
    const QByteArray bytes = readbackbytes();
    const auto chunks = chunked(bytes);
    const LinkSession* session = form.findChild<LinkSession*>(QStringLiteral("session"));
    for (auto _ : state) {
        form.cmdGet_Click();
        for (QByteArrayView c : chunks) port->deliver(c);
        if (session->transferring()) state.SkipWithError("read-back did not complete");
    }
}

void statuslines_core(benchmark::State& state) {
    QByteArray bytes;
    for (int i = 0; i < 100; ++i) bytes += "armed|" + QByteArray::number(1000 + i) + "|on\r";
    const auto chunks = chunked(bytes);
    for (auto _ : state) {
        LineAssembly rxbuffer;
        Reception rx;
        Waveform waveform{};
        for (QByteArrayView c : chunks)
            receivechunk(rxbuffer, c, [&](const QByteArray& line) {
                benchmark::DoNotOptimize(interpretline(line, rx, waveform));
            });
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

void statuslines_window(benchmark::State& state) {
    auto* port = new ReplayPort;
    Form1 form(port);
    QByteArray bytes;
    for (int i = 0; i < 100; ++i) bytes += "armed|" + QByteArray::number(1000 + i) + "|on\r";
    const auto chunks = chunked(bytes);
    for (auto _ : state)
        for (QByteArrayView c : chunks) port->deliver(c);
    state.SetItemsProcessed(state.iterations() * 100);
}

}  // namespace

BENCHMARK(readback_core)->Unit(benchmark::kMicrosecond);
BENCHMARK(readback_window)->Unit(benchmark::kMicrosecond);
BENCHMARK(statuslines_core)->Unit(benchmark::kMicrosecond);
BENCHMARK(statuslines_window)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
