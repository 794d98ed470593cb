// Dictionary files as the tests write them, and the messages about them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "QtTestSupport.h"

#include <cstring>

inline const QString kNoBomText = QStringLiteral("BOM付きUTF16LEで保存し直してください。");

inline QString CannotOpenText(const QString& path)
{
    return QStringLiteral("辞書ファイル %1 を開けませんでした。").arg(path);
}

// The system's text for an errno value.
inline QString Reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// FF FE and the text's UTF-16 units, low byte first.
inline QByteArray DictionaryBytes(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// A dictionary file of `text` named `name` in `folder`; its path.
inline QString WriteDictionary(const QTemporaryDir& folder, const QString& name, const QString& text)
{
    const QString path = folder.filePath(name);
    WriteBytes(path, DictionaryBytes(text));
    return path;
}
