#include "DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <QtMath>

#include <cmath>

QFont DialogFont(const QString& face, int pointSize)
{
    const QStringList available = QFontDatabase::families();
    QString family;
    if (available.contains(face)) {
        family = face;
    } else {
        const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
        static const char* const preferred[] = {"Noto Sans CJK JP", "IPAexGothic", "IPAGothic", "VL Gothic",
                                                "TakaoGothic", "Droid Sans Japanese"};
        for (const char* name : preferred) {
            if (japanese.contains(QString::fromLatin1(name))) {
                family = QString::fromLatin1(name);
                break;
            }
        }
        if (family.isEmpty() && !japanese.isEmpty())
            family = japanese.constFirst();
    }
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
    font.setPointSize(pointSize);
    return font;
}

namespace {
// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c)
{
    return int(std::lround(double(a) * b / c));
}
} // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int DialogUnits::X(int du) const
{
    return MulDiv(du, m_baseX, 4);
}

int DialogUnits::Y(int du) const
{
    return MulDiv(du, m_baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int cx, int cy) const
{
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + cx) - left, Y(y + cy) - top);
}
