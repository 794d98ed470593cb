// Dialog units as a dialog manager converts them: whole-pixel base units
// measured on the dialog's font (the average width of the Latin letters, the
// character height), x = du * baseX / 4 and y = du * baseY / 8, rounded to the
// nearest pixel, halves away from zero. A rectangle maps its edges, so that
// controls that meet in dialog units also meet in pixels.
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
    int CharHeight() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};
