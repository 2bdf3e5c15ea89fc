#include "gui/KeyedButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

using namespace Qt::StringLiterals;

void KeyedButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = text().replace(u'&', u"&&"_s);
    const QKeyCombination key = shortcut().isEmpty() ? QKeyCombination() : shortcut()[0];
    if (key.keyboardModifiers() == Qt::AltModifier) {
        // The letter at the start of a word, or else anywhere.
        const QChar letter(key.key());
        qsizetype at = -1;
        for (qsizetype i = 0; i < option.text.size() && at < 0; ++i) {
            if (option.text.at(i).toUpper() == letter
                && (i == 0 || !option.text.at(i - 1).isLetter()))
                at = i;
        }
        if (at < 0)
            at = option.text.indexOf(letter, 0, Qt::CaseInsensitive);
        if (at >= 0)
            option.text.insert(at, u'&');
    }
    painter.drawControl(QStyle::CE_PushButton, option);
}
