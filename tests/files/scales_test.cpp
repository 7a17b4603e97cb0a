#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/testutil.h"
#include "files/cp1251.h"
#include "files/scales.h"
#include "platform/inifile.h"

using namespace files;

TEST(Scales, ReadingTheFile)
{
    struct Case {
        const char* what;
        QString text; // written in Windows-1251; empty: no file
        QChar decimal;
        std::array<double, 3> k;
        std::array<double, 3> c;
        QString title;
        int range;
        bool looksMissing;
    } cases[] = {
        {"no file",
         {},
         QLatin1Char('.'),
         {1, 1, 1},
         {0, 0, 0},
         QStringLiteral("Ускорение, см/с/с"),
         16,
         true},
        {"a complete file",
         QStringLiteral("[factor]\nX=0.0039\nY=0.004\nZ=0.0041\n[Shift, ADC units]\nX=12\nY=-3.5\nZ=0\n"
                        "[Yscale]\nName=Ускорение, м/с2\nrange=200\n"),
         QLatin1Char('.'),
         {0.0039, 0.004, 0.0041},
         {12, -3.5, 0},
         QStringLiteral("Ускорение, м/с2"),
         200,
         false},
        {"comma separator, hexadecimal range",
         QStringLiteral("[factor]\nX=0,5\nY=0,25\nZ=2\n[Yscale]\nrange=0xC8\n"),
         QLatin1Char(','),
         {0.5, 0.25, 2},
         {0, 0, 0},
         QStringLiteral("Ускорение, см/с/с"),
         200,
         false},
        // A file from a system with the other separator (the one shipped with the board) reads the
        // same everywhere.
        {"either decimal separator",
         QStringLiteral("[factor]\nX=0,5\nY=0.25\nZ=abc\n[Shift, ADC units]\nX=1.5\nY=-2,5e1\nZ=1,2.3\n"),
         QLatin1Char('.'),
         {0.5, 0.25, 1},
         {1.5, -25, 0},
         QStringLiteral("Ускорение, см/с/с"),
         16,
         true},
        {"\xEF\xBB\xBFUTF-8 with its signature, as an editor saves it",
         QStringLiteral("[factor]\nX=0,5\nY=0.25\nZ=2\n[Yscale]\nName=Ускорение, м/с²\n"),
         QLatin1Char(','),
         {0.5, 0.25, 2},
         {0, 0, 0},
         QStringLiteral("Ускорение, м/с?"), // held in the code page the program writes
         16,
         false},
        {"a factor of exactly one is taken but warned about",
         QStringLiteral("[factor]\nX=2\nY=1\nZ=3\n"),
         QLatin1Char('.'),
         {2, 1, 3},
         {0, 0, 0},
         QStringLiteral("Ускорение, см/с/с"),
         16,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Scales.scl"));
        const bool utf8 = QByteArray(c.what).startsWith("\xEF\xBB\xBF");
        if (!c.text.isEmpty()) {
            ASSERT_TRUE(testutil::writeAll(path, utf8 ? "\xEF\xBB\xBF" + c.text.toUtf8() : toCp1251(c.text)));
        }
        const platform::IniFile ini(path);
        const ScalesData d = readScales(ini, c.decimal);
        EXPECT_EQ(d.k, c.k);
        EXPECT_EQ(d.c, c.c);
        EXPECT_EQ(d.yTitle, c.title);
        EXPECT_EQ(d.topRange, c.range);
        EXPECT_EQ(d.factorsLookMissing(), c.looksMissing);
    }
}

TEST(Scales, RangeListOfABoardDeclaringItsTopRange)
{
    EXPECT_EQ(rangeItemsForTopRange(200), (QStringList{QStringLiteral("±25g"), QStringLiteral("±50g"),
                                                       QStringLiteral("±100g"), QStringLiteral("±200g")}));
    for (int other : {16, 100, 0, -200, 2000})
        EXPECT_FALSE(rangeItemsForTopRange(other).has_value()) << other;
}

TEST(Scales, ZeroLevelsReplaceOnlyTheShifts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Scales.scl"));
    ASSERT_TRUE(testutil::writeAll(
        path, toCp1251(QStringLiteral("; калибровка платы 7\n[factor]\nX=0.0039\n"
                                      "[Shift, ADC units]\nX=1\nY=2\n[Yscale]\nName=g\n"))));
    platform::IniFile ini(path);
    writeZeroLevels(ini, {300, 150, -3});
    const QString text = fromCp1251(testutil::readAll(path));
    EXPECT_TRUE(text.startsWith(QStringLiteral("; калибровка платы 7"))) << text.toStdString();
    const platform::IniFile again(path);
    EXPECT_EQ(again.readString(QStringLiteral("Shift, ADC units"), QStringLiteral("X"), {}),
              QStringLiteral("300"));
    EXPECT_EQ(again.readString(QStringLiteral("Shift, ADC units"), QStringLiteral("Y"), {}),
              QStringLiteral("150"));
    EXPECT_EQ(again.readString(QStringLiteral("Shift, ADC units"), QStringLiteral("Z"), {}),
              QStringLiteral("-3"));
    EXPECT_EQ(again.readString(QStringLiteral("factor"), QStringLiteral("X"), {}), QStringLiteral("0.0039"));
    EXPECT_EQ(again.readString(QStringLiteral("Yscale"), QStringLiteral("Name"), {}), QStringLiteral("g"));
}

TEST(Scales, ZeroCaptureAtPoint2000)
{
    auto series = [](double atCapture, long long count) {
        std::vector<double> v(std::size_t(count), 7.0);
        if (count > kZeroCapturePoint)
            v[kZeroCapturePoint] = atCapture;
        return v;
    };
    struct Case {
        const char* what;
        std::array<double, 3> at;
        std::array<long long, 3> counts;
        QString previousClip;
        bool captured;
        std::array<double, 3> levels;
        QString clip;
    } cases[] = {
        {"the last level above 100 goes to the clipboard",
         {300.4, 149.6, -3.2},
         {2499, 2499, 2499},
         QStringLiteral("4ClipBrdZeroMax"),
         true,
         {300, 150, -3},
         QStringLiteral("150")},
        {"negative levels count by magnitude",
         {-101, 5, 0},
         {2001, 2001, 2001},
         QStringLiteral("4ClipBrdZeroMax"),
         true,
         {-101, 5, 0},
         QStringLiteral("-101")},
        {"none above 100 keeps what the box held",
         {100, -100, 2.5},
         {2001, 2001, 2001},
         QStringLiteral("4ClipBrdZeroMax"),
         true,
         {100, -100, 2},
         QStringLiteral("4ClipBrdZeroMax")},
        {"halves go to the even neighbour",
         {150.5, 151.5, -0.5},
         {2001, 2001, 2001},
         QStringLiteral("x"),
         true,
         {150, 152, 0},
         QStringLiteral("152")},
        {"a run short of 2001 points captures nothing",
         {300, 150, -3},
         {2500, 2000, 2500},
         QStringLiteral("77"),
         false,
         {0, 0, 0},
         QStringLiteral("77")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<std::vector<double>, 3> v;
        std::array<const double*, 3> ptr{};
        for (int a = 0; a < 3; ++a) {
            v[a] = series(c.at[a], c.counts[a]);
            ptr[a] = v[a].data();
        }
        const ZeroCaptureResult z = captureZeroLevels(ptr, c.counts, c.previousClip);
        EXPECT_EQ(z.captured, c.captured);
        if (c.captured) {
            EXPECT_EQ(z.levels, c.levels);
        }
        EXPECT_EQ(z.clipText, c.clip);
    }
}
