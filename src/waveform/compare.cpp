// SPDX-License-Identifier: MIT
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

QString differencetext(const Difference& d, bool sent) {
    return QStringLiteral("t=%1 %2 %3 holds %4")
        .arg(d.t)
        .arg(sent ? QLatin1String("sent") : QLatin1String("shown"))
        .arg(d.wanted)
        .arg(d.holds);
}

QString comparisonsentence(const Waveform& reference, const Waveform& received,
                           const QString& sentat) {
    const bool sent = !sentat.isEmpty();
    const std::vector<Difference> diffs = differences(reference, received);
    if (diffs.empty())
        return sent ? QStringLiteral("Controller holds the waveform sent at %1").arg(sentat)
                    : QStringLiteral("Controller's waveform equals the table shown before");
    QStringList listed;
    for (size_t i = 0; i < diffs.size() && i < kListed; ++i)
        listed << differencetext(diffs[i], sent);
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
