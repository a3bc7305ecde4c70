#pragma once
// Code lists shown as texts: a field stores the code, the operator sees and
// picks the text ("*", "L", "C" for 0, 1, 2).

#include <QComboBox>
#include <QList>
#include <QString>
#include <QVariant>

namespace kv {

struct CodeItem {
    int code = 0;
    QString text;
};
using CodeList = QList<CodeItem>;

// The list made of a code-to-text function over first..last.
CodeList codeList(QString (*text)(int), int first, int last);
// The text of a code (empty when the list lacks it).
QString codeText(const CodeList &list, const QVariant &code);

// A list editor for one code field; `code` is what the record gets (null when
// nothing is chosen).
class CodeBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QVariant code READ code WRITE setCode USER true)

public:
    explicit CodeBox(QWidget *parent = nullptr);
    CodeBox(const CodeList &codes, QWidget *parent = nullptr);

    void setCodes(const CodeList &codes);
    const CodeList &codes() const { return m_codes; }

    QVariant code() const;
    // A code not in the list shows no item.
    void setCode(const QVariant &code);

Q_SIGNALS:
    // The operator chose an item (not emitted by setCode).
    void codeChosen(int code);

private:
    CodeList m_codes;
};

}  // namespace kv
