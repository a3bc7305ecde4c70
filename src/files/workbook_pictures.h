#pragma once
// Pictures placed on a workbook at the cell a defined name points to: each
// PNG becomes a media part, anchored by one cell in the sheet's drawing (made
// when the sheet has none), one below the other. A workbook without the name
// is left exactly as it was.

#include "files/workbook_package.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace kv {

// The defined name our protocol templates give the place of the curves.
inline const QString kCurvesPlaceName = QStringLiteral("KvCurves");

struct WorkbookPicture {
    QByteArray png;
    QSize pixels;  // shown size
    QString name;  // the picture's name in the drawing
};

// Where a defined name points: sheet name, 0-based row and column of its
// first cell. False when the workbook has no such name or it names no cell.
struct CellPlace {
    QString sheet;
    int row = 0;
    int column = 0;
};
bool definedNamePlace(const WorkbookPackage &package, const QString &name, CellPlace *place);

// Anchors the pictures at the name's cell, each below the one before.
// Returns false (nothing changed) without the name or without pictures;
// throws kv::Error when a part the pictures need cannot be read.
bool placePictures(WorkbookPackage &package, const QString &definedName, const QList<WorkbookPicture> &pictures);

}  // namespace kv
