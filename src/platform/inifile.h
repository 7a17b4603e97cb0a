#pragma once

// The INI profile files of the program ("tremor.ini", "app.ini", "Scales.scl"), read and
// written with the Windows profile rules those files were made with:
// - the file is Windows-1251 text; QString in and out, converted here. A file that starts with
//   the UTF-8 signature (an editor saved it so) is read as UTF-8, and written back as 1251;
// - section and key names match without regard to letter case, Cyrillic included;
// - when a key is repeated, its first occurrence counts;
// - an integer may be decimal, hexadecimal "0x1F" or Delphi-style "$1F", with an optional
//   sign; anything else counts as missing; a boolean is any integer, non-zero meaning true;
// - setting a key changes that one key and keeps every other section, key and comment; a new
//   key goes to the end of its section, a new section to the end of the file.
// Keys are set in memory and save() writes them all at once, replacing the whole file through
// the one atomic writer (platform/atomicfile.h): a kill, a crash or a full disk leaves either
// the old file or the new one with every key, never a half-written file nor a mixture of old and
// new keys. Reads never throw.
//
// Settings files are small. One beyond kMaxIniFileBytes is not read at all (reading a damaged
// file of hundreds of megabytes would take seconds and gigabytes): it reads as empty, so every
// key takes its default, and it is not replaced unless its owner says so (replaceUnread()).

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

namespace platform {

inline constexpr std::int64_t kMaxIniFileBytes = 1 << 20;
// What the operator is told of a settings file too large to read.
QString iniTooLargeMessage(const QString& path);

// A profile write that did not reach the disk. what() is "Unable to write to <file name>",
// followed by ": " and the reason when there is one ("Недостаточно места на диске", or the
// system's words).
class IniWriteError : public std::runtime_error {
  public:
    explicit IniWriteError(const QString& fileName, const QString& reason = {});
    QString fileName() const { return m_fileName; }
    QString reason() const { return m_reason; }
    QString message() const { return QString::fromUtf8(what()); }

  private:
    QString m_fileName;
    QString m_reason;
};

class IniFile {
  public:
    // Loads the file if it exists; a missing file is simply empty. A file that exists but
    // cannot be read, or is too large to be read, reads as empty too, and save() refuses to
    // replace it, so that it is never replaced by a file holding only the keys set since.
    explicit IniFile(QString path);
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    QString path() const;
    // The file is there but beyond kMaxIniFileBytes, so it was not read.
    bool tooLarge() const;
    // Why a file that is there was not read (not a regular file, too large, no access); empty
    // when it was read or is missing.
    QString unreadReason() const;
    // The file holds control characters no settings text has (NUL padding aside): it is
    // something else saved under the settings' name.
    bool looksBinary() const;
    // For an owner that sets every key it has: the unread file may be replaced by a new one.
    void replaceUnread();

    // An existing key with an empty value reads as "", not as the default.
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    // nullopt when the key is missing or its value is not a number written with
    // decimalSeparator.
    std::optional<double> readDouble(const QString& section, const QString& key,
                                     QChar decimalSeparator) const;

    // Sets a key in memory; reads see it at once, the file only after save(). Line breaks in a
    // value are stored as spaces (a value is one line). A section or key name that could not be
    // read back as itself (empty, blanks around it, a line break, "]" in a section, "=" in a
    // key, a key starting with ";", "#" or "[") is a programming error: std::invalid_argument.
    void setString(const QString& section, const QString& key, const QString& value);
    void setInteger(const QString& section, const QString& key, int value);
    void setBool(const QString& section, const QString& key, bool value);

    // Writes the whole file, every key set so far included, in one replacement. Throws
    // IniWriteError when it cannot; the file on disk is then exactly as it was.
    void save();
    // The bytes save() would write now; nullopt where save() would fail before writing. An
    // owner compares two of these to learn whether anything it keeps changed.
    std::optional<QByteArray> text() const;

    // A section exists when its header is in the file, even with no keys under it.
    bool sectionExists(const QString& section) const;
    bool keyExists(const QString& section, const QString& key) const;

  private:
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace platform
