// Helpers shared by the tests that use Qt types.
#pragma once

#include "TestFiles.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstring>
#include <initializer_list>
#include <ostream>
#include <utility>

#include <gtest/gtest.h>

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

using Row = std::pair<QString, QString>;
using Rows = QList<Row>;

// A cell's display text; a missing one fails the running test.
inline QString Cell(const QAbstractItemModel& model, int row, int column)
{
    const QVariant v = model.data(model.index(row, column), Qt::DisplayRole);
    EXPECT_TRUE(v.isValid()) << "row " << row << " column " << column;
    return v.toString();
}

// One column's cells, top to bottom.
inline QStringList Column(const QAbstractItemModel& model, int column)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << Cell(model, row, column);
    return out;
}

// Every row of a two-column model as (column 0, column 1).
inline Rows ListRows(const QAbstractItemModel& model)
{
    Rows out;
    for (int row = 0; row < model.rowCount(); ++row)
        out.append({Cell(model, row, 0), Cell(model, row, 1)});
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

// TestFiles.h for Qt's names and bytes.
inline QByteArray ReadBytes(const QString& path)
{
    const std::string bytes = ReadBytes(QFile::encodeName(path).toStdString());
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    return WriteBytes(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), size_t(bytes.size())));
}

inline QStringList FolderNames(const QString& folder)
{
    QStringList out;
    for (const std::string& name : FolderNames(QFile::encodeName(folder).toStdString()))
        out << QFile::decodeName(QByteArray::fromStdString(name));
    return out;
}
