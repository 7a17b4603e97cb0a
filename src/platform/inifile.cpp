#include "platform/inifile.h"

#include "platform/fileaccess.h"

#include "platform/atomicfile.h"
#include "platform/cp1251.h"
#include "platform/numtext.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <string_view>

// Debian's SimpleIni.h keeps the template bodies behind SI_IMPLEMENTATION; we instantiate the
// template with our own comparator, so we need them. The store stays in raw code-page bytes
// (SI_NO_CONVERSION): conversion to and from QString happens at this file's boundary.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION

#include <SimpleIni.h>

namespace platform {

namespace {

// Lower-case partner of every Windows-1251 byte: Latin A-Z, Cyrillic А-Я at 0xC0-0xDF, and
// the capitals of the other Cyrillic alphabets (Ё, Ђ, Ѓ, Є, Ї, І, Ў ...) scattered over
// 0x80-0xBF. Windows compares profile names this way.
constexpr std::array<unsigned char, 256> makeFoldTable()
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b);
    for (int b = 'A'; b <= 'Z'; ++b)
        table[b] = static_cast<unsigned char>(b + 0x20);
    for (int b = 0xC0; b <= 0xDF; ++b)
        table[b] = static_cast<unsigned char>(b + 0x20);
    constexpr unsigned char scattered[][2] = {
        {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
        {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
        {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
    };
    for (const auto& pair : scattered)
        table[pair[0]] = pair[1];
    return table;
}

constexpr std::array<unsigned char, 256> foldTable = makeFoldTable();

// Strict weak order on 1251 names, blind to letter case. SimpleIni looks sections and keys up
// with it, so "[ГРАФИК СИГНАЛА]" in the file answers to "График сигнала".
struct NoCase1251 {
    bool operator()(const char* left, const char* right) const
    {
        for (; *left && *right; ++left, ++right) {
            const unsigned char a = foldTable[static_cast<unsigned char>(*left)];
            const unsigned char b = foldTable[static_cast<unsigned char>(*right)];
            if (a != b)
                return a < b;
        }
        return *left == 0 && *right != 0;
    }
};

// Not UTF-8; repeated keys are kept (the first one counts, as in Windows, and the file keeps
// the others); no "<<<" multi-line values, which Windows does not know.
using Profile = CSimpleIniTempl<char, NoCase1251, SI_ConvertA<char>>;

QByteArray encode(const QString& text)
{
    return toCp1251(text);
}

QString decode(const char* bytes)
{
    return fromCp1251(QByteArrayView(bytes));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Decimal within the int range, or hexadecimal after "0x", "0X" or "$", optionally signed,
// blanks around it allowed; the whole text must be the number. Hexadecimal is a 32-bit
// pattern as Delphi reads it: "$FFFFFFFF" is -1, so a colour written in hex by hand reads back
// as the same bits.
std::optional<int> parseProfileInteger(std::string_view text)
{
    std::string_view s = trimmed(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.starts_with('$')) {
        base = 16;
        s.remove_prefix(1);
    } else if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return std::nullopt;

    std::uint64_t magnitude = 0;
    for (const char c : s) {
        const int digit = digitValue(c, base);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * std::uint64_t(base) + std::uint64_t(digit);
        if (magnitude > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }

    if (base == 16) {
        std::uint32_t bits = std::uint32_t(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    const std::int64_t value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

// A value is one line of the file: a line break inside it would start a new key or section
// when the file is read again, and a NUL would cut the stored text short.
QString singleLine(QString value)
{
    for (QChar& c : value) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            c = u' ';
    }
    return value;
}

// Names come from the program, not the user; one that the file could not give back as itself
// is a bug worth stopping at rather than a file to corrupt.
void requireStorableName(const QString& name, bool isSection)
{
    bool ok = !name.isEmpty() && !name.front().isSpace() && !name.back().isSpace() && !name.contains(u'\r') &&
              !name.contains(u'\n') && !name.contains(u'\0');
    if (isSection)
        ok = ok && !name.contains(u']');
    else
        ok = ok && !name.contains(u'=') && !name.startsWith(u';') && !name.startsWith(u'#') &&
             !name.startsWith(u'[');
    if (!ok)
        throw std::invalid_argument(
            std::string(isSection ? "Unusable INI section name: \"" : "Unusable INI key name: \"") +
            name.toStdString() + "\"");
}

QList<QByteArrayView> splitLines(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\n' && c != '\r') {
            ++i;
            continue;
        }
        lines.append(text.sliced(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

enum class LineKind { Blank, Comment, Entry, Other };

// How SimpleIni's parser sees a line: comments start with ';' or '#', a section needs its
// closing bracket on the same line, a key needs a non-empty name before '='. Other lines it
// skips.
LineKind lineKind(QByteArrayView line)
{
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    if (line.isEmpty())
        return LineKind::Blank;
    if (line.front() == ';' || line.front() == '#')
        return LineKind::Comment;
    if (line.front() == '[')
        return line.contains(']') ? LineKind::Entry : LineKind::Other;
    return line.indexOf('=') > 0 ? LineKind::Entry : LineKind::Other;
}

// SimpleIni ties a comment to the section or key below it, so comment lines after the last
// entry of the file have nothing to hold on to and would vanish at the first write. We keep
// them ourselves and put them back at the end.
QByteArray trailingComments(QByteArrayView text)
{
    const QList<QByteArrayView> lines = splitLines(text);
    qsizetype start = 0;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lineKind(lines[i]) == LineKind::Entry) {
            start = i + 1;
            break;
        }
    }
    if (start == 0) {
        // No entries at all: the comment block at the very top is the file comment, which
        // SimpleIni keeps.
        while (start < lines.size() && !lines[start].isEmpty() &&
               (lines[start].front() == ';' || lines[start].front() == '#'))
            ++start;
    }

    QByteArray trailer;
    QByteArray pendingBlanks;
    for (qsizetype i = start; i < lines.size(); ++i) {
        switch (lineKind(lines[i])) {
        case LineKind::Comment:
            if (!trailer.isEmpty())
                trailer += '\n' + pendingBlanks;
            pendingBlanks.clear();
            trailer += lines[i];
            break;
        case LineKind::Blank:
            pendingBlanks += '\n';
            break;
        default:
            break;
        }
    }
    return trailer;
}

} // namespace

namespace {

// A UTF-16 file (Notepad's "Unicode"), told by its signature or, without one, by the zero half
// of its first character (a settings file begins with "[", a comment or a key, all ASCII).
std::optional<QString> utf16Text(const QByteArray& b)
{
    const auto decode = [&b](QStringConverter::Encoding e, qsizetype skip) {
        QStringDecoder decoder(e, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(QByteArrayView(b).sliced(skip)));
    };
    // Every settings file in UTF-16 has zero bytes (its brackets, "=" and line ends); a 1251
    // file whose text merely begins with "яю" or "юя" has none.
    if (!b.contains('\0'))
        return std::nullopt;
    if (b.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE, 2);
    if (b.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE, 2);
    // Without a signature: a first character of plain ASCII whose other half is zero.
    const auto ascii = [](char c) { return c > 0 && c < 0x7F; };
    if (b.size() >= 2 && b.size() % 2 == 0 && ascii(b[0]) && b[1] == 0)
        return decode(QStringConverter::Utf16LE, 0);
    if (b.size() >= 2 && b.size() % 2 == 0 && b[0] == 0 && ascii(b[1]))
        return decode(QStringConverter::Utf16BE, 0);
    return std::nullopt;
}

} // namespace

IniWriteError::IniWriteError(const QString& fileName, const QString& reason)
    : std::runtime_error(("Unable to write to " + fileName + (reason.isEmpty() ? QString() : ": " + reason))
                             .toStdString()),
      m_fileName(fileName), m_reason(reason)
{
}

struct IniFile::Data {
    QString path;
    Profile profile{false, true, false};
    QByteArray trailer; // see trailingComments()
    bool crlf = true;   // line ends to write: the file's own; CR LF for a new file
    bool unread = false; // the file exists but could not be read: save() must not replace it
    QString unreadReason;
    bool tooLarge = false;
    bool binary = false;

    Data() { profile.SetSpaces(false); } // "key=value", as Windows writes it

    void parse(const QByteArray& bytes)
    {
        QByteArray text = bytes;
        // An editor that saved the file as UTF-8 or UTF-16 marked it so; the store works in 1251,
        // which is also what the file will be written as.
        if (text.startsWith("\xEF\xBB\xBF"))
            text = toCp1251(QString::fromUtf8(QByteArrayView(text).sliced(3)));
        else if (const auto utf16 = utf16Text(text))
            text = toCp1251(*utf16);
        // The parser works on C strings and would lose everything after a NUL byte (files
        // padded with zeros after a crash are not rare); blanks do no harm in their place.
        text.replace('\0', ' ');
        binary = std::any_of(text.begin(), text.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != 0x1A) || u == 0x7F;
        });

        const qsizetype firstLf = text.indexOf('\n');
        crlf = firstLf < 0 || (firstLf > 0 && text[firstLf - 1] == '\r');
        trailer = trailingComments(text);

        profile.Reset();
        if (profile.LoadData(text.constData(), std::size_t(text.size())) < 0) {
            profile.Reset();
            unread = true;
            unreadReason = QStringLiteral("его текст не разобран, он не прочитан");
        }
    }

    std::optional<QByteArray> serialize() const
    {
        std::string body;
        if (profile.Save(body, false) < 0)
            return std::nullopt;
        QByteArray text = QByteArray::fromStdString(body);
        if (!trailer.isEmpty()) {
            if (!text.isEmpty())
                text += '\n';
            text += trailer + '\n';
        }
        // Stored values and comments hold no line breaks of their own, so every '\n' here is
        // a line end.
        if (crlf)
            text.replace("\n", "\r\n");
        // A first line whose 1251 text begins with "п»ї", "юя" or "яю" would read back as the
        // signature of UTF-8 or UTF-16, and the whole file would then be decoded as such. A line
        // end first keeps it 1251.
        if (text.startsWith("\xEF\xBB\xBF") || text.startsWith("\xFE\xFF") || text.startsWith("\xFF\xFE"))
            text.prepend(crlf ? "\r\n" : "\n");
        return text;
    }

    // The first entry of a key: the one Windows reads and writes when a key is repeated.
    const Profile::TKeyVal::value_type* findKey(const QString& section, const QString& key) const
    {
        const Profile::TKeyVal* keys = profile.GetSection(encode(section).constData());
        if (!keys)
            return nullptr;
        const QByteArray name = encode(key);
        const auto [begin, end] = keys->equal_range(Profile::Entry(name.constData()));
        const Profile::TKeyVal::value_type* first = nullptr;
        for (auto it = begin; it != end; ++it) {
            if (!first || it->first.nOrder < first->first.nOrder)
                first = &*it;
        }
        return first;
    }

    const char* rawValue(const QString& section, const QString& key) const
    {
        const auto* entry = findKey(section, key);
        return entry ? entry->second : nullptr;
    }
};

IniFile::IniFile(QString path) : d(std::make_unique<Data>())
{
    d->path = std::move(path);
    if (d->path.isEmpty())
        return;
    // Opened without waiting: a FIFO in the settings' place would otherwise block the start until
    // something writes into it. Only a regular file is read as settings; anything else is kept.
    const int fd = ::open(QFile::encodeName(d->path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT) {
            d->unread = true;
            d->unreadReason = fileErrorText(errno);
        }
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        d->unread = true;
        d->unreadReason = QStringLiteral("это не обычный файл, он не прочитан");
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    const QString tooLargeReason =
        QStringLiteral("файл больше %1 МБ, он не прочитан").arg(kMaxIniFileBytes >> 20);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        d->unread = true;
        d->unreadReason = fileErrorText(errno);
        return;
    }
    if (file.size() > kMaxIniFileBytes) {
        d->unread = d->tooLarge = true;
        d->unreadReason = tooLargeReason;
        return;
    }
    // Not more than the bound even if the file grows meanwhile (or is no regular file).
    const QByteArray bytes = file.read(kMaxIniFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        d->unread = true;
        d->unreadReason = fileErrorText(errno);
        return;
    }
    if (bytes.size() > kMaxIniFileBytes) {
        d->unread = d->tooLarge = true;
        d->unreadReason = tooLargeReason;
        return;
    }
    d->parse(bytes);
}

QString iniTooLargeMessage(const QString& path)
{
    return QStringLiteral("Файл настроек %1 больше %2 МБ и не прочитан: действуют настройки по умолчанию.")
        .arg(path)
        .arg(kMaxIniFileBytes >> 20);
}

IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

QString IniFile::path() const
{
    return d->path;
}

bool IniFile::tooLarge() const
{
    return d->tooLarge;
}

QString IniFile::unreadReason() const
{
    return d->unread ? d->unreadReason : QString();
}

bool IniFile::looksBinary() const
{
    return d->binary;
}

void IniFile::replaceUnread()
{
    d->unread = false;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const char* value = d->rawValue(section, key);
    return value ? decode(value) : defaultValue;
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const
{
    const char* value = d->rawValue(section, key);
    if (!value)
        return defaultValue;
    return parseProfileInteger(value).value_or(defaultValue);
}

bool IniFile::readBool(const QString& section, const QString& key, bool defaultValue) const
{
    const char* value = d->rawValue(section, key);
    if (!value)
        return defaultValue;
    const std::optional<int> number = parseProfileInteger(value);
    return number ? *number != 0 : defaultValue;
}

std::optional<double> IniFile::readDouble(const QString& section, const QString& key,
                                          QChar decimalSeparator) const
{
    const char* value = d->rawValue(section, key);
    if (!value)
        return std::nullopt;
    return parseNumber(decode(value), decimalSeparator);
}

void IniFile::setString(const QString& section, const QString& key, const QString& value)
{
    requireStorableName(section, true);
    requireStorableName(key, false);

    const QByteArray sectionName = encode(section);
    // An existing key keeps the spelling the file gives it. The copy matters: SimpleIni frees
    // the old entry's name while it replaces the entry.
    const auto* existing = d->findKey(section, key);
    const QByteArray keyName = existing ? QByteArray(existing->first.pItem) : encode(key);
    const QByteArray valueText = encode(singleLine(value));
    if (d->profile.SetValue(sectionName.constData(), keyName.constData(), valueText.constData(), nullptr, true) <
        0)
        throw std::bad_alloc();
}

void IniFile::setInteger(const QString& section, const QString& key, int value)
{
    setString(section, key, QString::number(value));
}

void IniFile::setBool(const QString& section, const QString& key, bool value)
{
    setString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::save()
{
    if (d->unread)
        throw IniWriteError(d->path, d->unreadReason);
    const std::optional<QByteArray> text = d->serialize();
    if (!text)
        throw IniWriteError(d->path);
    if (const auto failure = writeFileAtomically(d->path, *text))
        throw IniWriteError(d->path, failure->reason());
}

std::optional<QByteArray> IniFile::text() const
{
    return d->serialize();
}

bool IniFile::sectionExists(const QString& section) const
{
    return d->profile.GetSection(encode(section).constData()) != nullptr;
}

bool IniFile::keyExists(const QString& section, const QString& key) const
{
    return d->findKey(section, key) != nullptr;
}

} // namespace platform
