#include "waveform/compare.h"

#include <QCryptographicHash>
#include <QStringList>

#include "waveform/files.h"

namespace gaspuff {
namespace {

constexpr int kListed = 5;  // differences a sentence names; the rest are counted

}  // namespace

std::vector<Difference> differences(const Waveform& reference, const Waveform& received) {
    std::vector<Difference> out;
    for (int t = 0; t < kWaveformLength; ++t)
        if (reference[t] != received[t]) out.push_back({t, reference[t], received[t]});
    return out;
}

QString comparisonsentence(const Waveform& reference, const Waveform& received,
                           const QString& sentat) {
    const bool sent = !sentat.isEmpty();
    const std::vector<Difference> diffs = differences(reference, received);
    if (diffs.empty())
        return sent ? QStringLiteral("Controller holds the waveform sent at %1").arg(sentat)
                    : QStringLiteral("Controller's waveform equals the table shown before");
    const QString wanted = sent ? QStringLiteral("sent") : QStringLiteral("shown");
    QStringList listed;
    for (size_t i = 0; i < diffs.size() && i < kListed; ++i)
        listed << QStringLiteral("t=%1 %2 %3 holds %4")
                      .arg(diffs[i].t)
                      .arg(wanted)
                      .arg(diffs[i].wanted)
                      .arg(diffs[i].holds);
    const int n = static_cast<int>(diffs.size());
    QString sentence =
        QStringLiteral("Controller's waveform differs from %1 in %2: %3")
            .arg(sent ? QStringLiteral("the one sent at ") + sentat
                      : QStringLiteral("the table shown before"),
                 n == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(n),
                 listed.join(QStringLiteral(", ")));
    if (n > kListed) sentence += QStringLiteral(", and %1 more").arg(n - kListed);
    return sentence;
}

QByteArray fingerprint(const Waveform& table) {
    return QCryptographicHash::hash(waveformfiletext(table), QCryptographicHash::Sha256).toHex();
}

}  // namespace gaspuff
