#pragma once
// The import conversions of meter type and test tables. The lenient
// text/number conversions they build on are in core/number_text.h.

#include "core/number_text.h"

#include <QString>

namespace kv {

double KMFromText(const QString &text);
int LCFromText(const QString &text);
int EnergyFromText(const QString &text);
int ConstUnitFromText(const QString &text);
int SchemeFromText(const QString &text);
QString BaseFileName(const QString &path);

}  // namespace kv
