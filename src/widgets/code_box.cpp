#include "widgets/code_box.h"

namespace kv {

CodeList codeList(QString (*text)(int), int first, int last)
{
    CodeList list;
    for (int code = first; code <= last; ++code)
        list.append({code, text(code)});
    return list;
}

QString codeText(const CodeList &list, const QVariant &code)
{
    if (!code.isValid() || code.isNull())
        return {};
    bool ok = false;
    const int c = code.toInt(&ok);
    if (!ok)
        return {};
    for (const CodeItem &item : list)
        if (item.code == c)
            return item.text;
    return {};
}

CodeBox::CodeBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, [this](int i) {
        if (i >= 0 && i < m_codes.size())
            Q_EMIT codeChosen(m_codes.at(i).code);
    });
}

CodeBox::CodeBox(const CodeList &codes, QWidget *parent) : CodeBox(parent) { setCodes(codes); }

void CodeBox::setCodes(const CodeList &codes)
{
    const QVariant kept = code();
    m_codes = codes;
    clear();
    for (const CodeItem &item : codes)
        addItem(item.text, item.code);
    setCode(kept);
}

QVariant CodeBox::code() const
{
    const int i = currentIndex();
    if (i < 0 || i >= m_codes.size())
        return {};
    return m_codes.at(i).code;
}

void CodeBox::setCode(const QVariant &code)
{
    int found = -1;
    bool ok = false;
    const int c = code.toInt(&ok);
    if (ok && !code.isNull())
        for (int i = 0; i < m_codes.size(); ++i)
            if (m_codes.at(i).code == c)
                found = i;
    setCurrentIndex(found);
}

}  // namespace kv
