#pragma once

// The INI profile files of the program ("tremor.ini", "app.ini", "Scales.scl"), read and
// written with the Windows profile rules those files were made with:
// - the file is Windows-1251 text; QString in and out, converted here;
// - section and key names match without regard to letter case, Cyrillic included;
// - when a key is repeated, its first occurrence counts;
// - an integer may be decimal, hexadecimal "0x1F" or Delphi-style "$1F", with an optional
//   sign; anything else counts as missing; a boolean is any integer, non-zero meaning true;
// - a write changes that one key and keeps every other section, key and comment; a new key
//   goes to the end of its section, a new section to the end of the file.
// Each write replaces the whole file atomically, so a crash or a full disk never leaves a
// half-written file behind. Reads never throw.

#include <QChar>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

namespace platform {

// A profile write that did not reach the disk. what() is "Unable to write to <file name>".
class IniWriteError : public std::runtime_error {
  public:
    explicit IniWriteError(const QString& fileName);
    QString fileName() const { return m_fileName; }

  private:
    QString m_fileName;
};

class IniFile {
  public:
    // Loads the file if it exists; a missing file is simply empty. A file that exists but
    // cannot be read reads as empty too, and refuses writes, so that it is never replaced by
    // a file holding only the keys written since.
    explicit IniFile(QString path);
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    QString path() const;

    // An existing key with an empty value reads as "", not as the default.
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    // nullopt when the key is missing or its value is not a number written with
    // decimalSeparator.
    std::optional<double> readDouble(const QString& section, const QString& key,
                                     QChar decimalSeparator) const;

    // Each write saves the file at once and throws IniWriteError when it cannot; the file on
    // disk is then unchanged and so is what this object reads. Line breaks in a value are
    // stored as spaces (a value is one line). A section or key name that could not be read
    // back as itself (empty, blanks around it, a line break, "]" in a section, "=" in a key,
    // a key starting with ";", "#" or "[") is a programming error: std::invalid_argument.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    // A section exists when its header is in the file, even with no keys under it.
    bool sectionExists(const QString& section) const;
    bool keyExists(const QString& section, const QString& key) const;

  private:
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace platform
