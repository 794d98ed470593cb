// Text on the clipboard, held once as the UTF-8 that other programs ask for:
// a transfer, however large and in however many pieces, hands out these
// bytes without converting them again, and no markup is made of them.
#pragma once

#include <QMimeData>

class Utf8TextMimeData : public QMimeData {
public:
    explicit Utf8TextMimeData(QByteArray utf8)
        : m_utf8(std::move(utf8))
    {
    }
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& format) const override { return IsText(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (!IsText(format))
            return {};
        if (type.id() == QMetaType::QString)
            return QString::fromUtf8(m_utf8);
        return m_utf8;
    }

private:
    static bool IsText(const QString& format)
    {
        return format == u"text/plain" || format == u"text/plain;charset=utf-8";
    }
    QByteArray m_utf8;
};
