#pragma once

// axdtool's commands. Each command lives in a file of its own and registers itself with a
// Registration object; main() finds it by name. The usage texts, the per-command help and the
// option parser all read the command's one option table, so what the help lists is what the
// command takes.
//
// Exit statuses: 0 done, 1 a file could not be read or written, 2 a wrong call.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace axdtool {

inline constexpr int kOk = 0;
inline constexpr int kFileError = 1;
inline constexpr int kUsageError = 2;

// The name that stands for standard input (as FILE) or standard output (as OUT).
inline const QString kStdStream = QStringLiteral("-");

struct OptionSpec {
    QString name;  // without the leading "--"
    QString value; // what the value looks like ("X|Y|Z"); empty for a flag
    QString help;  // one line
};

struct Command {
    QString name;
    QString operands;    // "FILE..." or "FILE OUT"
    QString description; // one or more lines
    std::vector<OptionSpec> options;
    // Gets the arguments after the command's name; returns the exit status.
    int (*run)(const QStringList& args) = nullptr;
};

const std::vector<Command>& commands();
const Command* findCommand(const QString& name);

struct Registration {
    explicit Registration(Command command);
};

// Output: UTF-8 text on stdout and stderr. A write to standard output that fails is remembered;
// finishOutput() then reports it.
void printOut(const QString& text);
void printOutBytes(const QByteArray& bytes);
bool outputFailed();
void printError(const QString& text);
// Flushes and closes standard output; when that or an earlier write failed, says so on stderr and
// returns kFileError, otherwise status.
int finishOutput(int status);
// Runs write on standard output as a device (for exports and pictures); a failure is remembered as
// a failed printOut is. Returns kOk, or kFileError after saying so.
int writeStandardOutput(const std::function<bool(QIODevice&)>& write);

// "axdtool: " + message on stderr, then the usage text (of the command when given); returns
// kUsageError.
int usageError(const QString& message, const QString& command = {});
// "axdtool: " + message on stderr; returns kFileError.
int fileError(const QString& message);

QString usageText();
QString commandHelp(const Command& command);
QString versionText();

// The parser every command uses: "--name value" or "--name=value" for the options of the table
// that take a value, "--name" for its flags, "-h"/"--help", "--" before operands that start with
// a dash, and the operands in order ("-" among them). Anything else starting with "-" is an error.
class Options {
  public:
    Options() = default;
    Options(const QStringList& args, const std::vector<OptionSpec>& table);

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    bool help() const { return help_; }
    const QStringList& positional() const { return positional_; }
    bool has(const QString& name) const;
    QString value(const QString& name, const QString& fallback = {}) const;
    // The options as given, without the operands, each in one argument ("--name=value").
    QStringList optionArguments() const;

  private:
    QStringList positional_;
    QStringList names_;
    QStringList values_;
    QList<bool> flags_;
    QString error_;
    bool help_ = false;
};

// Parses args with the command's table. Returns an exit status when the call is finished: the help
// was asked for (kOk, printed) or the options are wrong (kUsageError, reported).
std::optional<int> parseOptions(const QStringList& args, const QString& commandName, Options& out);

// Runs runOne once per FILE operand, each time with the options and that one file, as long as the
// calls are right; a file that fails does not stop the others. Returns the worst status. With one
// FILE it is simply runOne(args); before is called ahead of each file when there are several.
int forEachFile(const QStringList& args, const QString& commandName, int (*runOne)(const QStringList&),
                const std::function<void(const QString& file, qsizetype index)>& before = {});

// The bytes of a whole input: standard input for "-", else nothing (files are opened by name).
// Read once; a second "-" in one call gets nothing.
QByteArray readStandardInput();
// The name messages give an input or output: "-" is called what it is.
QString displayName(const QString& path);

} // namespace axdtool
