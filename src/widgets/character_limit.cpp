#include "widgets/character_limit.h"

#include "database/text_length.h"

#include <QLineEdit>
#include <QValidator>

namespace kv {

namespace {

class CharacterLimit : public QValidator
{
public:
    CharacterLimit(int characters, QObject *parent) : QValidator(parent), m_characters(characters) {}

    State validate(QString &input, int &pos) const override
    {
        if (characterCount(input) > m_characters) {
            input = leftCharacters(input, m_characters);
            pos = std::min(pos, int(input.size()));
        }
        return Acceptable;
    }

private:
    int m_characters;
};

}  // namespace

void limitCharacters(QLineEdit *edit, int characters)
{
    edit->setMaxLength(32767);
    edit->setValidator(new CharacterLimit(characters, edit));
}

}  // namespace kv
