#pragma once
// A line edit's own length limit counts UTF-16 units and cuts a pasted or
// typed text inside a character beyond U+FFFF, leaving half of it. Edits of
// text columns take their limit in characters through this instead.

class QLineEdit;

namespace kv {

// The edit keeps at most `characters` characters: a longer text is cut to
// that many whole characters, as a length limit cuts.
void limitCharacters(QLineEdit *edit, int characters);

}  // namespace kv
