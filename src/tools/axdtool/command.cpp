#include "tools/axdtool/command.h"

#include <algorithm>
#include <cstdio>

namespace axdtool {

namespace {

std::vector<Command>& registry()
{
    static std::vector<Command> list;
    return list;
}

} // namespace

const std::vector<Command>& commands()
{
    return registry();
}

Registration::Registration(Command command)
{
    auto& list = registry();
    list.push_back(std::move(command));
    // Listed by name, whichever order the files were linked in.
    std::sort(list.begin(), list.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
}

void printOut(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int usageError(const QString& message)
{
    printError(QStringLiteral("axdtool: ") + message + QLatin1Char('\n') + usageText());
    return kUsageError;
}

int fileError(const QString& message)
{
    printError(QStringLiteral("axdtool: ") + message + QLatin1Char('\n'));
    return kFileError;
}

QString usageText()
{
    QString text = QStringLiteral("Usage: axdtool COMMAND ARGUMENTS...\n\nCommands:\n");
    for (const Command& c : commands()) {
        text += QStringLiteral("  ") + c.name + QLatin1Char(' ') + c.synopsis + QLatin1Char('\n');
        for (const QString& line : c.description.split(QLatin1Char('\n')))
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
    }
    text += QStringLiteral("  help\n      Shows this text.\n\n"
                           "Exit status: 0 done, 1 a file could not be read or written, 2 a wrong call.\n");
    return text;
}

Options::Options(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--")) || a == QLatin1String("--")) {
            positional_ << a;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        bool inlineValue = false;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
            inlineValue = true;
        }
        if (flags.contains(name)) {
            if (inlineValue) {
                error_ = QStringLiteral("option --%1 takes no value").arg(name);
                return;
            }
        } else if (valueOptions.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error_ = QStringLiteral("option --%1 needs a value").arg(name);
                    return;
                }
                value = args[++i];
            }
        } else {
            error_ = QStringLiteral("unknown option --%1").arg(name);
            return;
        }
        names_ << name;
        values_ << value;
    }
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

} // namespace axdtool
