#pragma once

// axdtool's commands. Each command lives in a file of its own and registers itself with a
// Registration object; main() finds it by name and prints the usage text from the list.
//
// Exit statuses: 0 done, 1 a file could not be read or written, 2 a wrong call.

#include <QString>
#include <QStringList>

#include <vector>

namespace axdtool {

inline constexpr int kOk = 0;
inline constexpr int kFileError = 1;
inline constexpr int kUsageError = 2;

struct Command {
    QString name;
    QString synopsis;    // the arguments, as the usage text shows them
    QString description; // one or more lines, shown indented below the synopsis
    // Gets the arguments after the command's name; returns the exit status.
    int (*run)(const QStringList& args) = nullptr;
};

const std::vector<Command>& commands();

struct Registration {
    explicit Registration(Command command);
};

// Output: UTF-8 text on stdout and stderr.
void printOut(const QString& text);
void printError(const QString& text);

// "axdtool: " + message on stderr, then the usage text; returns kUsageError.
int usageError(const QString& message);
// "axdtool: " + message on stderr; returns kFileError.
int fileError(const QString& message);

QString usageText();

// A small option parser: "--name value" or "--name=value", flags without a value, and the
// positional arguments in order. Unknown options are errors.
class Options {
  public:
    Options(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    const QStringList& positional() const { return positional_; }
    bool has(const QString& name) const;
    QString value(const QString& name, const QString& fallback = {}) const;

  private:
    QStringList positional_;
    QStringList names_;
    QStringList values_;
    QString error_;
};

} // namespace axdtool
