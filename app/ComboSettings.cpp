#include "ComboSettings.h"

#include "ComboHistory.h"
#include "Profile.h"

#include <QComboBox>

namespace {
const QString kEditKey = QStringLiteral("EditControl");

QString Quoted(const QString& text)
{
    return u'"' + text + u'"';
}
} // namespace

QString UnquoteValue(const QString& value)
{
    if (!value.isEmpty() && value.front() == u'"' && value.back() == u'"') {
        QString inner = value;
        inner.chop(1);
        inner.remove(0, 1);
        return inner;
    }
    return value;
}

void LoadComboHistory(const ProfileReader& profile, QComboBox& box, const QString& section)
{
    for (int i = 0; i < HISTORY_MAX; ++i) {
        const QString item = UnquoteValue(profile.Get(section, QString::number(i)));
        if (item.isEmpty())
            break;
        AddSorted(box, item);
    }
    // The first item added made itself current and took over the field.
    box.setCurrentIndex(-1);
    box.setEditText(UnquoteValue(profile.Get(section, kEditKey)));
}

void SaveComboHistory(ProfileWriter& profile, QComboBox& box, const QString& section)
{
    profile.Write(section, kEditKey, Quoted(box.currentText()));
    // An entry that reads back empty ("", and also '"' and '""', which lose
    // their quotes on reading) would end the list there and hide every entry
    // after it, so it is not written.
    int key = 0;
    for (int i = 0; i < box.count() && key < HISTORY_MAX; ++i) {
        const QString item = box.itemText(i);
        if (!UnquoteValue(item).isEmpty())
            profile.Write(section, QString::number(key++), Quoted(item));
    }
}
