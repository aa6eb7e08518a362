#include "handling/Scramble.h"

namespace ostrevo {

namespace {

int Shift(qsizetype position, qsizetype length)
{
    return int((11 * position * length) % 94);
}

} // namespace

QByteArray ScramblePassword(const QByteArray &plain)
{
    const qsizetype n = plain.size();
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        int c = static_cast<unsigned char>(plain.at(i)) + Shift(i + 1, n);
        if (c > 126)
            c = c - 126 + 32;
        out[i] = static_cast<char>(c & 0xFF);
    }
    return out;
}

QByteArray UnscramblePassword(const QByteArray &scrambled)
{
    const qsizetype n = scrambled.size();
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        int c = static_cast<unsigned char>(scrambled.at(i)) - Shift(i + 1, n);
        if (c < 32)
            c = 126 - (32 - c);
        out[i] = static_cast<char>(c & 0xFF);
    }
    return out;
}

QString ScramblePassword(const QString &plain)
{
    return QString::fromLatin1(ScramblePassword(plain.toLatin1()));
}

QString UnscramblePassword(const QString &scrambled)
{
    return QString::fromLatin1(UnscramblePassword(scrambled.toLatin1()));
}

bool SurvivesScrambling(const QByteArray &plain)
{
    return UnscramblePassword(ScramblePassword(plain)) == plain;
}

} // namespace ostrevo
