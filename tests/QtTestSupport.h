// Helpers shared by the tests that use Qt types.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstring>
#include <initializer_list>
#include <ostream>

// Readable failure messages: control characters and other non-ASCII units as \uXXXX.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"';
    const qsizetype shown = qMin<qsizetype>(s.size(), 200);
    for (qsizetype i = 0; i < shown; ++i) {
        const char16_t u = s[i].unicode();
        if (u >= 0x20 && u < 0x7F && u != u'\\')
            *os << char(u);
        else
            *os << "\\u" << QString::number(u, 16).rightJustified(4, u'0').toStdString();
    }
    if (shown < s.size())
        *os << "... (" << s.size() << " units)";
    *os << '"';
}

// A string of exactly these UTF-16 units, lone surrogates included.
inline QString Units(std::initializer_list<char16_t> units)
{
    QString s;
    for (char16_t u : units)
        s.append(QChar(u));
    return s;
}

inline QStringList Items(const QComboBox& box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out << box.itemText(i);
    return out;
}

// Counts the warnings of QAbstractItemModelTester while it lives.
class ModelTesterWarnings {
public:
    ModelTesterWarnings()
    {
        s_count = 0;
        s_previous = qInstallMessageHandler(Handle);
    }
    ~ModelTesterWarnings() { qInstallMessageHandler(s_previous); }
    int Count() const { return s_count; }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg && context.category
            && std::strcmp(context.category, "qt.modeltest") == 0)
            ++s_count;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline int s_count = 0;
    static inline QtMessageHandler s_previous = nullptr;
};
