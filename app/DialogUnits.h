// Dialog units: x = du * average character width / 4, y = du * character
// height / 8, both measured on the dialog's font.
#pragma once

#include <QFont>
#include <QRect>

// The template's face where the system has it, else a Japanese UI font, at
// the template's point size.
QFont DialogFont(const QString& face, int pointSize);

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int du) const;
    int Y(int du) const;
    QRect Rect(int x, int y, int cx, int cy) const;
    int CharHeight() const { return m_charHeight; }

private:
    double m_charWidth;
    int m_charHeight;
};
