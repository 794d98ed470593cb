#include "DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <QtMath>

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

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The average over the Latin letters, as dialog managers measure it.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_charWidth = (metrics.horizontalAdvance(letters) / 26.0 + 1) / 2.0;
    m_charHeight = metrics.height();
}

int DialogUnits::X(int du) const
{
    return qRound(du * m_charWidth / 4.0);
}

int DialogUnits::Y(int du) const
{
    return qRound(du * m_charHeight / 8.0);
}

QRect DialogUnits::Rect(int x, int y, int cx, int cy) const
{
    return QRect(X(x), Y(y), X(cx), Y(cy));
}
