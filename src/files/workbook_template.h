#pragma once
// Fills a template workbook: every {{Source.Field}} in a cell's text is
// replaced by the field's value, and the rows of one defined name (the
// repeated range) are copied once per record of the table source, with the
// rows below, merged cells, row heights, styles, defined names, conditional
// formats and formulas following the shift. Cached formula results are
// dropped and the workbook asks for a full recalculation when opened.

#include "files/workbook_package.h"

#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>

namespace kv {

struct TemplateFill {
    // The value of Source.Field; `record` is the record of the repeated source
    // for the copy of the repeated rows being filled, -1 elsewhere. Returns
    // false when no source has such a field.
    std::function<bool(const QString &source, const QString &field, int record, QVariant *value)> lookup;
    // The defined name whose rows are repeated, and how many times.
    QString rangeName = QStringLiteral("RangeTable");
    int rangeRecords = 0;

    // Filled by fillTemplate: "Source.Field" of every placeholder no source knows.
    QStringList unknownFields;
    // Whether the template had the repeated range.
    bool rangeFound = false;
};

// Fills the package in place; throws kv::Error when a part cannot be read.
void fillTemplate(WorkbookPackage &package, TemplateFill &fill);

// The text a value shows in a cell made of text (numbers with the
// locale's separator, dates as dd.MM.yyyy).
QString reportText(const QVariant &value);

}  // namespace kv
