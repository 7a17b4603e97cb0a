#include "platform/inifile.h"

#include "common/testutil.h"

#include <QDir>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <optional>
#include <tuple>
#include <utility>

using platform::IniFile;
using platform::IniWriteError;
using namespace Qt::StringLiterals;

namespace {

// Reference conversion straight from Qt's codec, independent of the INI layer's own tables.
QByteArray cp1251(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

class IniFileTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir.filePath(name); }

    QString iniWith(const QByteArray& bytes, const QString& name = u"tremor.ini"_s)
    {
        const QString path = pathOf(name);
        EXPECT_TRUE(testutil::writeAll(path, bytes));
        return path;
    }

    // Section "T" with keys "v0", "v1" ... holding the given texts; nullptr leaves the key out.
    IniFile iniOfValues(const std::vector<const char*>& texts)
    {
        QByteArray bytes = "[T]\r\n";
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i])
                bytes += "v" + QByteArray::number(qulonglong(i)) + "=" + texts[i] + "\r\n";
        }
        return IniFile(iniWith(bytes));
    }

    QTemporaryDir dir;
};

TEST_F(IniFileTest, NamesMatchWithoutRegardToLetterCase)
{
    const IniFile ini(iniWith(cp1251(u"[График сигнала]\r\nвысота=515\r\n[Shift, ADC units]\r\nX=12\r\n"
                                     u"[Pls]\r\nDegree|Time=0\r\n[Ёлка]\r\nЁж=5\r\n"
                                     u"[Series Color]\r\nChannel 1=64\r\n"_s)));
    const std::tuple<QString, QString, int> cases[] = {
        {u"График сигнала"_s, u"высота"_s, 515}, {u"ГРАФИК СИГНАЛА"_s, u"ВЫСОТА"_s, 515},
        {u"гРАФИК сИГНАЛА"_s, u"Высота"_s, 515}, {u"shift, adc units"_s, u"x"_s, 12},
        {u"PLS"_s, u"degree|time"_s, 0},         {u"ёЛКА"_s, u"ёЖ"_s, 5},
        {u"series color"_s, u"CHANNEL 1"_s, 64}, {u"Series Color"_s, u"Channel1"_s, -1},
        {u"Series Color"_s, u"Channel 2"_s, -1}, {u"Графи сигнала"_s, u"высота"_s, -1},
        {u"Shift ADC units"_s, u"X"_s, -1}};
    for (const auto& [section, key, expected] : cases) {
        SCOPED_TRACE((section + u" / "_s + key).toStdString());
        EXPECT_EQ(ini.readInteger(section, key, -1), expected);
        EXPECT_EQ(ini.keyExists(section, key), expected != -1);
    }
    EXPECT_TRUE(ini.sectionExists(u"ёлка"_s));
    EXPECT_FALSE(ini.sectionExists(u"ёлки"_s));
}

// Every capital of the code page, checked against Qt's Unicode casing: it finds the key
// spelt with its small letter, and no two letters are taken for one.
TEST_F(IniFileTest, CaseFoldingAgreesWithUnicodeForEveryLetterOfTheCodePage)
{
    QStringDecoder decoder("windows-1251");
    QByteArray text = "[S]\n";
    QStringList upperKeys;
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString ch = decoder.decode(QByteArrayView(&byte, 1));
        if (ch.size() != 1 || ch != ch.toUpper() || ch == ch.toLower())
            continue;
        text += "k" + cp1251(ch.toLower()) + "=" + QByteArray::number(upperKeys.size()) + "\n";
        upperKeys.append(u"K"_s + ch);
    }
    ASSERT_EQ(upperKeys.size(), 26 + 32 + 15); // Latin, А-Я, the scattered Cyrillic capitals

    const IniFile ini(iniWith(text));
    for (qsizetype i = 0; i < upperKeys.size(); ++i)
        EXPECT_EQ(ini.readInteger(u"s"_s, upperKeys[i], -1), i) << upperKeys[i].toStdString();
}

TEST_F(IniFileTest, IntegersAreDecimalOrHexAndAnythingElseIsTheDefault)
{
    // Hexadecimal is a 32-bit pattern: "$FFFFFFFF" is -1.
    const std::pair<const char*, int> valid[] = {{"515", 515},
                                                 {"-7", -7},
                                                 {"+42", 42},
                                                 {"  12\t", 12},
                                                 {"007", 7},
                                                 {"0x1F", 31},
                                                 {"0X1f", 31},
                                                 {"$FF", 255},
                                                 {"$c08040", 0xC08040},
                                                 {"-$10", -16},
                                                 {"-0x10", -16},
                                                 {"$FFFFFFFF", -1},
                                                 {"2147483647", INT_MAX},
                                                 {"-2147483648", INT_MIN}};
    const char* invalid[] = {"12abc", "",           "abc",         "1.5",         "1 2",
                             "--1",   "0x",         "$",           "0x-1",        "$ 1",
                             "0x1G",  "2147483648", "-2147483649", "0x100000000", "99999999999999999999999",
                             nullptr};
    std::vector<const char*> texts;
    for (const auto& [text, value] : valid)
        texts.push_back(text);
    texts.insert(texts.end(), std::begin(invalid), std::end(invalid));
    const IniFile ini = iniOfValues(texts);

    for (size_t i = 0; i < texts.size(); ++i) {
        const int expected = i < std::size(valid) ? valid[i].second : -12345;
        EXPECT_EQ(ini.readInteger(u"T"_s, u"v%1"_s.arg(i), -12345), expected)
            << '"' << (texts[i] ? texts[i] : "(missing)") << '"';
    }
    EXPECT_EQ(ini.readInteger(u"Missing"_s, u"v0"_s, -12345), -12345);
}

TEST_F(IniFileTest, BooleansAreIntegersWithNonZeroTrue)
{
    // text (nullptr: missing), default, expected
    const std::vector<std::tuple<const char*, bool, bool>> cases = {
        {"1", false, true},     {"0", true, false},    {"-3", false, true},    {"$10", false, true},
        {"0x0", true, false},   {"yes", true, true},   {"yes", false, false},  {"", true, true},
        {"true", false, false}, {nullptr, true, true}, {nullptr, false, false}};
    std::vector<const char*> texts;
    for (const auto& c : cases)
        texts.push_back(std::get<0>(c));
    const IniFile ini = iniOfValues(texts);

    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [text, defaultValue, expected] = cases[i];
        EXPECT_EQ(ini.readBool(u"T"_s, u"v%1"_s.arg(i), defaultValue), expected)
            << (text ? text : "(missing)") << " default " << defaultValue;
    }
}

TEST_F(IniFileTest, DoublesFollowTheGivenDecimalSeparator)
{
    // text (nullptr: missing), separator, expected
    const std::vector<std::tuple<const char*, char, std::optional<double>>> cases = {
        {"0,0039", ',', 0.0039},       {"0.0039", '.', 0.0039},     {"-2,5E3", ',', -2500.0},
        {" 1.25 ", '.', 1.25},         {"12", ',', 12.0},           {"0.0039", ',', std::nullopt},
        {"0,0039", '.', std::nullopt}, {"1,5x", ',', std::nullopt}, {"abc", '.', std::nullopt},
        {"", '.', std::nullopt},       {nullptr, '.', std::nullopt}};
    std::vector<const char*> texts;
    for (const auto& c : cases)
        texts.push_back(std::get<0>(c));
    const IniFile ini = iniOfValues(texts);

    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [text, separator, expected] = cases[i];
        EXPECT_EQ(ini.readDouble(u"t"_s, u"V%1"_s.arg(i), QChar(separator)), expected)
            << (text ? text : "(missing)") << " with '" << separator << "'";
    }
}

// The file is kept line for line: comments (at the top, before a section, before a key, after
// everything), the order of sections and keys, the spelling of names and the line ends. New keys
// go to the end of their section, new sections to the end. Nothing reaches the disk before
// save(), and then everything at once.
TEST_F(IniFileTest, WritingAKeyKeepsTheRestOfTheFile)
{
    // name, line end
    const std::tuple<const char*, QString> cases[] = {{"LF", u"\n"_s}, {"CR LF", u"\r\n"_s}};
    const QString original = u"; Settings of the accelerometer program\n\n\n"
                             u"[График сигнала]\nвысота=515\nШирина=794\n\n\n"
                             u"; measurement set-up\n[Окно F/T]\nSamples=16384\n\n"
                             u"; 0 = computer, 1 = board memory\nPC or Mem=1\n\n\n"
                             u"[Pls]\nShow=1\nDegree|Time=1\n\n"
                             u"; end of settings\n"_s;
    for (const auto& [name, lineEnd] : cases) {
        SCOPED_TRACE(name);
        const auto fileText = [&](QString text) { return cp1251(text.replace(u"\n"_s, lineEnd)); };
        const QString path = iniWith(fileText(original));

        IniFile ini(path);
        ini.setInteger(u"ГРАФИК СИГНАЛА"_s, u"ширина"_s, 800);
        EXPECT_EQ(ini.readInteger(u"График сигнала"_s, u"Ширина"_s, 0), 800);
        EXPECT_EQ(testutil::readAll(path), fileText(original)) << "nothing written before save()";
        ini.save();
        QString expected = QString(original).replace(u"Ширина=794"_s, u"Ширина=800"_s);
        EXPECT_EQ(testutil::readAll(path), fileText(expected));

        ini.setInteger(u"Окно F/T"_s, u"Delay"_s, 5);
        ini.setBool(u"Module"_s, u"Show"_s, false);
        ini.save();
        expected.replace(u"PC or Mem=1\n"_s, u"PC or Mem=1\nDelay=5\n"_s);
        expected.replace(u"Degree|Time=1\n"_s, u"Degree|Time=1\n\n\n[Module]\nShow=0\n"_s);
        EXPECT_EQ(testutil::readAll(path), fileText(expected));

        // The temporary files were renamed away: only the file itself is left.
        EXPECT_EQ(entries(dir.path()), QStringList{u"tremor.ini"_s});
        QFile::remove(path);
    }
}

TEST_F(IniFileTest, NewFileIsWindows1251WithCrLf)
{
    const QString path = pathOf(u"tremor.ini"_s);
    {
        IniFile ini(path);
        ini.setInteger(u"График сигнала"_s, u"высота"_s, 515);
        ini.setString(u"Yscale"_s, u"Name"_s, u"Ускорение, см/с/с"_s);
        // Characters outside the code page are stored as '?', one per character.
        ini.setString(u"Yscale"_s, u"Unit"_s, u"a→b😀"_s);
        ini.save();
    }
    EXPECT_EQ(testutil::readAll(path), cp1251(u"[График сигнала]\r\nвысота=515\r\n\r\n\r\n"
                                              u"[Yscale]\r\nName=Ускорение, см/с/с\r\nUnit=a?b?\r\n"_s));

    const IniFile reread(path);
    EXPECT_EQ(reread.readInteger(u"График сигнала"_s, u"высота"_s, 0), 515);
    EXPECT_EQ(reread.readString(u"Yscale"_s, u"Name"_s, QString()), u"Ускорение, см/с/с"_s);
}

TEST_F(IniFileTest, RepeatedKeyReadsAndWritesItsFirstOccurrence)
{
    const QString path = iniWith("[A]\nk=1\nK=2\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger(u"A"_s, u"k"_s, 0), 1);
    ini.setInteger(u"A"_s, u"k"_s, 3);
    ini.save();
    EXPECT_EQ(IniFile(path).readInteger(u"A"_s, u"k"_s, 0), 3);
}

// A line break in a value must not smuggle a key or section into the file, and a name that
// could not be read back as itself is refused before anything is written.
TEST_F(IniFileTest, WritesCannotBreakTheLineStructure)
{
    const QString path = pathOf(u"app.ini"_s);
    IniFile ini(path);
    ini.setString(u"A"_s, u"k"_s, u"x\r\n[B]\ny=1"_s);
    ini.save();
    const IniFile reread(path);
    EXPECT_EQ(reread.readString(u"A"_s, u"k"_s, QString()), u"x  [B] y=1"_s);
    EXPECT_FALSE(reread.sectionExists(u"B"_s));
    EXPECT_FALSE(reread.keyExists(u"A"_s, u"y"_s));

    const QByteArray fileBefore = testutil::readAll(path);
    for (const char* section : {"", "a]b", " lead", "trail ", "two\nlines"})
        EXPECT_THROW(ini.setInteger(QString::fromUtf8(section), u"k"_s, 1), std::invalid_argument)
            << section;
    for (const char* key : {"", "a=b", ";c", "#c", "[c", " lead", "trail ", "two\rlines"})
        EXPECT_THROW(ini.setInteger(u"A"_s, QString::fromUtf8(key), 1), std::invalid_argument) << key;
    ini.save();
    EXPECT_EQ(testutil::readAll(path), fileBefore);
}

// Zero bytes, as a crash can leave them, must not cost the rest of the file at the next write.
TEST_F(IniFileTest, ZeroBytesDoNotTruncateTheFile)
{
    const QString path = iniWith(QByteArray("[A]\nk=1\n") + QByteArray(16, '\0') + "\n[B]\nm=2\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger(u"B"_s, u"m"_s, 0), 2);
    ini.setInteger(u"A"_s, u"k"_s, 5);
    ini.save();

    const IniFile reread(path);
    EXPECT_EQ(reread.readInteger(u"A"_s, u"k"_s, 0), 5);
    EXPECT_EQ(reread.readInteger(u"B"_s, u"m"_s, 0), 2);
    EXPECT_FALSE(testutil::readAll(path).contains('\0'));
}

// A save that cannot reach the disk throws "Unable to write to <file>: <why>", leaves no
// temporary file behind and changes nothing on disk.
TEST_F(IniFileTest, FailedWriteThrowsAndChangesNothing)
{
    // The folder vanishes between loading and writing.
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"gone"_s));
    IniFile loaded(iniWith("[A]\nk=1\n", u"gone/tremor.ini"_s));
    ASSERT_TRUE(QDir(pathOf(u"gone"_s)).removeRecursively());

    // A directory stands where the file should be.
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"app.ini"_s));
    const QString inside = iniWith("kept", u"app.ini/inside.txt"_s);
    IniFile onDirectory(pathOf(u"app.ini"_s));

    const QStringList folderBefore = entries(dir.path());
    for (IniFile* ini : {&loaded, &onDirectory}) {
        SCOPED_TRACE(ini->path().toStdString());
        ini->setInteger(u"A"_s, u"new"_s, 2);
        try {
            ini->save();
            ADD_FAILURE() << "no IniWriteError";
        } catch (const IniWriteError& e) {
            EXPECT_TRUE(e.message().startsWith(u"Unable to write to "_s + ini->path() + u": "_s)) << e.what();
            EXPECT_FALSE(e.reason().isEmpty());
            EXPECT_EQ(e.fileName(), ini->path());
        }
    }
    EXPECT_EQ(entries(dir.path()), folderBefore);
    EXPECT_EQ(entries(pathOf(u"app.ini"_s)), QStringList{u"inside.txt"_s});
    EXPECT_EQ(testutil::readAll(inside), QByteArray("kept"));
}

// An editor that saves UTF-8 marks the file with a signature: its Cyrillic names must still be
// found, and a save writes the file back in the program's code page, without the signature.
TEST_F(IniFileTest, AnEditorsUtf8FileIsReadAsUtf8AndWrittenAs1251)
{
    const QString text = u"[График сигнала]\r\nвысота=600\r\n[Yscale]\r\nName=Ускорение, м/с/с\r\n"_s;
    const QString path = iniWith("\xEF\xBB\xBF" + text.toUtf8());
    IniFile ini(path);
    EXPECT_EQ(ini.readInteger(u"График сигнала"_s, u"Высота"_s, 0), 600);
    EXPECT_EQ(ini.readString(u"Yscale"_s, u"Name"_s, {}), u"Ускорение, м/с/с"_s);
    ini.setInteger(u"График сигнала"_s, u"высота"_s, 700);
    ini.save();
    const QByteArray out = testutil::readAll(path);
    EXPECT_FALSE(out.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(out.count(cp1251(u"[График сигнала]"_s)), 1) << "not a second section beside an unread first";
    EXPECT_TRUE(out.contains(cp1251(u"высота=700\r\n"_s)));
    EXPECT_TRUE(out.contains(cp1251(u"Name=Ускорение, м/с/с\r\n"_s)));

    // A 1251 file whose first key starts with the signature's bytes ("п»ї") after a blank line
    // is not UTF-8: once saved, it must not read back as UTF-8, mangling every Cyrillic name.
    const QString ours = iniWith(cp1251(u"\r\nп»їk=1\r\n[Окно F/T]\r\nSamples=1\r\n"_s), u"app.ini"_s);
    IniFile first(ours);
    first.setInteger(u"Окно F/T"_s, u"Samples"_s, 16384);
    first.save();
    const IniFile reread(ours);
    EXPECT_EQ(reread.readInteger(u"ОКНО F/T"_s, u"samples"_s, 0), 16384);
    EXPECT_EQ(reread.readInteger(QString(), u"п»їk"_s, 0), 1);
}

// A settings file beyond the bound is not read (every key takes its default) and not replaced,
// unless its owner, who sets every key, says so.
TEST_F(IniFileTest, AFileBeyondTheBoundIsNeitherReadNorReplaced)
{
    const QByteArray big = "[A]\r\nk=1\r\n" + QByteArray(platform::kMaxIniFileBytes, ';');
    struct Case {
        const char* what;
        QByteArray bytes;
        bool tooLarge;
    } cases[] = {
        {"within the bound", big.left(platform::kMaxIniFileBytes - 100), false},
        {"one byte beyond", big.left(platform::kMaxIniFileBytes + 1), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = iniWith(c.bytes);
        IniFile ini(path);
        EXPECT_EQ(ini.tooLarge(), c.tooLarge);
        EXPECT_EQ(ini.readInteger(u"A"_s, u"k"_s, 0), c.tooLarge ? 0 : 1);
        ini.setInteger(u"A"_s, u"m"_s, 2);
        if (c.tooLarge) {
            EXPECT_THROW(ini.save(), IniWriteError);
            EXPECT_EQ(testutil::readAll(path), c.bytes);
            ini.replaceUnread();
        }
        ini.save();
        EXPECT_EQ(IniFile(path).readInteger(u"A"_s, u"m"_s, 0), 2);
    }
}

// Settings come only from a regular file: a FIFO in the file's place is neither waited on nor
// read nor replaced. A UTF-16 file (Notepad's "Unicode", with or without its signature) reads as
// what it says.
TEST_F(IniFileTest, OnlyARegularFileIsReadAndUtf16IsRecognised)
{
    const QString fifo = pathOf(u"fifo.ini"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Something that would feed the FIFO once it is opened: the old way of reading took it.
    const pid_t feeder = ::fork();
    ASSERT_GE(feeder, 0);
    if (feeder == 0) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
        [[maybe_unused]] const auto n = ::write(fd, "[A]\r\nk=1\r\n", 10);
        ::_exit(0);
    }
    {
        IniFile ini(fifo);
        EXPECT_EQ(ini.readInteger(u"A"_s, u"k"_s, 0), 0);
        ini.setInteger(u"A"_s, u"k"_s, 2);
        EXPECT_THROW(ini.save(), IniWriteError);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    ::kill(feeder, SIGKILL);
    ::waitpid(feeder, nullptr, 0);

    const QString text = u"[График сигнала]\r\nвысота=600\r\n"_s;
    QStringEncoder le(QStringConverter::Utf16LE);
    QStringEncoder be(QStringConverter::Utf16BE);
    const QByteArray little = le.encode(text);
    const QByteArray big = be.encode(text);
    for (const QByteArray& bytes : {QByteArray("\xFF\xFE") + little, QByteArray("\xFE\xFF") + big, little}) {
        const QString path = iniWith(bytes);
        IniFile ini(path);
        EXPECT_EQ(ini.readInteger(u"График сигнала"_s, u"высота"_s, 0), 600);
        ini.setInteger(u"График сигнала"_s, u"ширина"_s, 700);
        ini.save();
        const QByteArray out = testutil::readAll(path);
        EXPECT_FALSE(out.contains('\0'));
        EXPECT_TRUE(out.contains(cp1251(u"высота=600\r\nширина=700"_s)));
    }
}

} // namespace
