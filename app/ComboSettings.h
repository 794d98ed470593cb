// Keeping a combo box's field and history in the settings file, one section
// per box: "EditControl" for the field, "0".."19" for the list.
#pragma once

#include <QString>

class ProfileReader;
class ProfileWriter;
class QComboBox;

inline constexpr int HISTORY_MAX = 20;

// Removes one pair of double quotes that encloses the whole value.
QString UnquoteValue(const QString& value);

void LoadComboHistory(const ProfileReader& profile, QComboBox& box, const QString& section);
// Hands the keys to `profile`; its Commit() writes them.
void SaveComboHistory(ProfileWriter& profile, QComboBox& box, const QString& section);
