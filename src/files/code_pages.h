#pragma once
// The two Cyrillic code pages that table files of other programs use: DOS 866
// and Windows 1251. Qt has no converter for them without ICU, and the tables
// are small, so they are kept here.

#include <QByteArray>
#include <QString>

namespace kv {

// Code pages as table file headers name them.
enum CodePage { CodePage866 = 866, CodePage1251 = 1251 };

// The code page text in a file marked with `headerCodePage` is taken to be in:
// 866 for DOS code pages (437, 850, 866 ...), 1251 for Windows ones and for
// anything unknown.
int cyrillicCodePageFor(int headerCodePage);

// Bytes in the code page to text. Bytes below 0x80 are ASCII.
QString decodeCodePage(const QByteArray &bytes, int codePage);

// Text to bytes in the code page; a character the page lacks becomes '?'.
QByteArray encodeCodePage(const QString &text, int codePage);

}  // namespace kv
