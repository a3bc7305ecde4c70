#pragma once
// What one soak save writes, known to the saver, the browser and the final
// check alike, so each can tell a whole verification record from a half one.
//
// Save k writes the run of three stands of six meters: stands 1 and 2 carry
// one meter type and share one verification record, stand 3 carries another
// and has its own. Every meter has kPoints errors. Meter numbers are
// "SOAK<k>-<stand><position>", so a soak record is told from any other.

#include <QString>

#include <cmath>

namespace soak {

constexpr int kPoints = 8;
constexpr int kStands = 3;
constexpr int kPositions = 6;
constexpr int kRecordsPerSave = 2;
constexpr double kLimit = 1.0;
inline const QString kPrefix = QStringLiteral("SOAK");

// The record a stand's meters go to: 0 for stands 1 and 2, 1 for stand 3.
constexpr int recordOfStand(int stand) { return stand == 3 ? 1 : 0; }
// Meters of a whole record of group 0 or 1.
constexpr int metersOfRecord(int group) { return group == 0 ? 2 * kPositions : kPositions; }

inline QString meterNumber(int save, int stand, int position)
{
    return kPrefix + QString::number(save) + QLatin1Char('-') + QString::number(stand * 10 + position);
}

// Parses a soak meter number; false for any other.
inline bool parseMeterNumber(const QString &number, int *save, int *tag)
{
    if (!number.startsWith(kPrefix))
        return false;
    const int dash = number.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return false;
    bool ok1 = false, ok2 = false;
    *save = number.mid(kPrefix.size(), dash - kPrefix.size()).toInt(&ok1);
    *tag = number.mid(dash + 1).toInt(&ok2);
    return ok1 && ok2 && *save > 0 && *tag / 10 >= 1 && *tag / 10 <= kStands && *tag % 10 >= 1 &&
           *tag % 10 <= kPositions;
}

// The error reading of a meter at a point, as the stand reports it: two
// decimals, some beyond the limit.
inline double errorAt(int save, int tag, int point)
{
    const int n = (save * 37 + tag * 11 + point * 7) % 260 - 130;
    return n / 100.0;
}

inline QString errorText(int save, int tag, int point)
{
    const double v = errorAt(save, tag, point);
    return (v < 0 ? QStringLiteral("-") : QStringLiteral("+")) + QString::number(std::fabs(v), 'f', 2);
}

// The verdict written for a meter with no special tests: 2 when an error is
// beyond the limit, else 0.
inline int totalOf(int save, int tag)
{
    for (int i = 1; i <= kPoints; ++i)
        if (std::fabs(errorAt(save, tag, i)) > kLimit)
            return 2;
    return 0;
}

}  // namespace soak
