#pragma once
// Kvintor's own window icon, for every window of both programs. The picture is
// core/resources/kvintor.svg, compiled into the programs; it needs Qt's SVG
// icon engine (Debian's libqt6svg6) at run time, without which windows show none.

#include <QIcon>
#include <QString>

namespace kv {

// The resource path of the icon's SVG.
inline const QString kProgramIconPath = QStringLiteral(":/kvintor/kvintor.svg");

QIcon programIcon();

}  // namespace kv
