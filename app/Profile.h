// Reading and writing single values of an INI settings file.
//
// The file holds "[section]" lines and "key=value" lines; lines starting with
// ';' are comments. CR, LF and CR LF all end a line. Only a regular file is
// read: anything else, and a symbolic link that neither the user nor root
// made, reads as unreadable and is never written. Section and key names
// match without regard to ASCII case.
// A value is read as the text after the first '=', trimmed of spaces and tabs,
// with one enclosing pair of matching quotes (" or ') removed, and is cut to
// kProfileValueMax code units. Line breaks, other control characters, lone
// surrogates, backslashes and blanks at either end are stored as backslash
// escapes, so any value reads back as written, less that one pair of quotes.
#pragma once

#include "ByteStreams.h"

#include <QList>
#include <QString>

#include <memory>

inline constexpr qsizetype kProfileValueMax = 4095;

// `defaultValue` when the file, the section or the key is missing.
QString GetProfileString(const QString& file, const QString& section, const QString& key,
                         const QString& defaultValue = QString());

// The file read once, for reading many values: each Get answers as
// GetProfileString would have when the file was read.
class ProfileReader {
public:
    explicit ProfileReader(const QString& file);
    ~ProfileReader();
    ProfileReader(const ProfileReader&) = delete;
    ProfileReader& operator=(const ProfileReader&) = delete;

    QString Get(const QString& section, const QString& key, const QString& defaultValue = QString()) const;

private:
    struct Data;
    std::unique_ptr<const Data> m_data; // null when the file could not be read
};

// Creates the file, section and key as needed, otherwise replaces the key's
// line in place; every other line is kept byte for byte. A new key goes on a
// line of its own. The file is replaced atomically. False when the file can't
// be read or written, or when a name could not be stored (empty, line breaks,
// '=' in a key, ']' in a section).
bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

// Several keys written with one rewrite of the file: Commit() leaves the file
// exactly as the same WriteProfileString calls, one after the other, would.
class ProfileWriter {
public:
    // Every write goes through `write` (write(2) when null).
    explicit ProfileWriter(const QString& file, WriteFunction write = nullptr);

    // Takes the key in; false, and nothing taken, when a name could not be stored.
    bool Write(const QString& section, const QString& key, const QString& value);
    // Writes what was taken in; false when the file can't be read or written.
    bool Commit();

private:
    struct Pending {
        QString section;
        QString key;
        QString value;
    };
    QString m_file;
    WriteFunction m_write;
    QList<Pending> m_pending;
};
