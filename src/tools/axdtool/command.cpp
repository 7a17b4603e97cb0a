#include "tools/axdtool/command.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#ifndef ACCEL3_VERSION
#define ACCEL3_VERSION "unknown"
#endif

namespace axdtool {

namespace {

std::vector<Command>& registry()
{
    static std::vector<Command> list;
    return list;
}

// Why the first write to standard output that failed did; empty while all went well.
QString outputError;

void noteOutputError(const QString& reason)
{
    if (outputError.isEmpty())
        outputError = reason.isEmpty() ? QStringLiteral("input/output error") : reason;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO));
}

QString optionSynopsis(const OptionSpec& o)
{
    return QStringLiteral("--") + o.name + (o.value.isEmpty() ? QString() : QLatin1Char(' ') + o.value);
}

} // namespace

const std::vector<Command>& commands()
{
    return registry();
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : registry()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

Registration::Registration(Command command)
{
    auto& list = registry();
    list.push_back(std::move(command));
    // Listed by name, whichever order the files were linked in.
    std::sort(list.begin(), list.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
}

void printOutBytes(const QByteArray& bytes)
{
    // After one failure nothing more goes out: a report cut in the middle is not to go on
    // after a gap.
    if (!outputError.isEmpty())
        return;
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size()) ||
        std::fflush(stdout) != 0)
        noteOutputError(errnoText());
}

void printOut(const QString& text)
{
    printOutBytes(text.toUtf8());
}

bool outputFailed()
{
    return !outputError.isEmpty();
}

void printError(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int finishOutput(int status)
{
    // What is still buffered, and the close itself, can fail too (a full disk, a file-size
    // limit, a pipe closed early).
    errno = 0;
    if (std::fflush(stdout) != 0)
        noteOutputError(errnoText());
    if (std::ferror(stdout))
        noteOutputError({});
    errno = 0;
    if (std::fclose(stdout) != 0)
        noteOutputError(errnoText());
    if (outputError.isEmpty())
        return status;
    printError(QStringLiteral("axdtool: cannot write to standard output: %1\n").arg(outputError));
    return kFileError;
}

int writeStandardOutput(const std::function<bool(QIODevice&)>& write)
{
    std::fflush(stdout);
    QFile out;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) || !write(out) ||
        !out.flush())
        noteOutputError(out.errorString());
    return outputFailed() ? kFileError : kOk;
}

int usageError(const QString& message, const QString& command)
{
    const Command* c = command.isEmpty() ? nullptr : findCommand(command);
    printError(QStringLiteral("axdtool: ") + message + QLatin1Char('\n') + (c ? commandHelp(*c) : usageText()));
    return kUsageError;
}

int fileError(const QString& message)
{
    printError(QStringLiteral("axdtool: ") + message + QLatin1Char('\n'));
    return kFileError;
}

QString usageText()
{
    QString text = QStringLiteral("Usage: axdtool COMMAND [OPTIONS] OPERANDS...\n\nCommands:\n");
    for (const Command& c : commands()) {
        text += QStringLiteral("  ") + c.name + QLatin1Char(' ') + c.operands + QLatin1Char('\n');
        for (const QString& line : c.description.split(QLatin1Char('\n')))
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
    }
    text += QStringLiteral("  help [COMMAND]\n      Shows this text, or the options of COMMAND.\n\n"
                           "FILE \"-\" reads standard input, OUT \"-\" writes standard output.\n"
                           "\"axdtool COMMAND --help\" lists the options of a command; --version the version.\n"
                           "Exit status: 0 done, 1 a file could not be read or written, 2 a wrong call.\n");
    return text;
}

QString commandHelp(const Command& c)
{
    QString text = QStringLiteral("Usage: axdtool ") + c.name + QStringLiteral(" [OPTIONS] ") + c.operands +
                   QStringLiteral("\n\n") + c.description + QStringLiteral("\n\nOptions:\n");
    std::vector<OptionSpec> all = c.options;
    all.push_back({QStringLiteral("help"), {}, QStringLiteral("Shows this text (also -h).")});
    qsizetype width = 0;
    for (const OptionSpec& o : all)
        width = std::max(width, optionSynopsis(o).size());
    for (const OptionSpec& o : all)
        text += QStringLiteral("  ") + optionSynopsis(o).leftJustified(width + 2) + o.help + QLatin1Char('\n');
    text += QStringLiteral("\"--\" ends the options; FILE \"-\" is standard input, OUT \"-\" standard output.\n");
    return text;
}

QString versionText()
{
    return QStringLiteral("axdtool " ACCEL3_VERSION "\n");
}

Options::Options(const QStringList& args, const std::vector<OptionSpec>& table)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || a == kStdStream || !a.startsWith(QLatin1Char('-'))) {
            positional_ << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            help_ = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            error_ = QStringLiteral("unknown option %1 (a file named so goes after \"--\")").arg(a);
            return;
        }
        QString name = a.mid(2);
        QString value;
        bool inlineValue = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
            inlineValue = true;
        }
        const auto spec =
            std::find_if(table.begin(), table.end(), [&name](const OptionSpec& o) { return o.name == name; });
        if (spec == table.end()) {
            error_ = QStringLiteral("unknown option --%1").arg(name);
            return;
        }
        if (spec->value.isEmpty()) {
            if (inlineValue) {
                error_ = QStringLiteral("option --%1 takes no value").arg(name);
                return;
            }
        } else if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error_ = QStringLiteral("option --%1 needs a value").arg(name);
                return;
            }
            value = args[++i];
        }
        names_ << name;
        values_ << value;
        flags_ << spec->value.isEmpty();
    }
}

QStringList Options::optionArguments() const
{
    QStringList out;
    for (qsizetype i = 0; i < names_.size(); ++i)
        out << QStringLiteral("--") + names_[i] + (flags_[i] ? QString() : QLatin1Char('=') + values_[i]);
    return out;
}

bool Options::has(const QString& name) const
{
    return names_.contains(name);
}

QString Options::value(const QString& name, const QString& fallback) const
{
    // The last one given counts.
    const qsizetype i = names_.lastIndexOf(name);
    return i < 0 ? fallback : values_[i];
}

std::optional<int> parseOptions(const QStringList& args, const QString& commandName, Options& out)
{
    const Command* c = findCommand(commandName);
    out = Options(args, c ? c->options : std::vector<OptionSpec>{});
    // Help wins over a mistake beside it, as it does for the program itself.
    if (out.help() && c) {
        printOut(commandHelp(*c));
        return kOk;
    }
    if (!out.ok())
        return usageError(out.error(), commandName);
    return std::nullopt;
}

int forEachFile(const QStringList& args, const QString& commandName, int (*runOne)(const QStringList&),
                const std::function<void(const QString& file, qsizetype index)>& before)
{
    Options opt;
    if (const auto status = parseOptions(args, commandName, opt))
        return *status;
    if (opt.positional().size() <= 1)
        return runOne(args);
    int status = kOk;
    for (qsizetype i = 0; i < opt.positional().size() && !outputFailed(); ++i) {
        const QString& file = opt.positional()[i];
        if (before)
            before(file, i);
        const int one = runOne(opt.optionArguments() + QStringList{QStringLiteral("--"), file});
        status = std::max(status, one);
        // A wrong call is wrong for every file.
        if (one == kUsageError)
            break;
    }
    return status;
}

QByteArray readStandardInput()
{
    static bool taken = false;
    if (taken)
        return {};
    taken = true;
    QFile in;
    if (!in.open(STDIN_FILENO, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {};
    return in.readAll();
}

QString displayName(const QString& path)
{
    return path == kStdStream ? QStringLiteral("standard input") : path;
}

} // namespace axdtool
