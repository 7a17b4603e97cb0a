#include <QBuffer>
#include <gtest/gtest.h>

#include "files/cp1251.h"
#include "files/textexport.h"

using namespace files;

namespace {

QByteArray exported(const ExportSource& s, ExportFormat f)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_TRUE(writeExport(out, s, f));
    return out.data();
}

} // namespace

TEST(TextExport, OnlyYWithoutXAndModulus)
{
    const double y[] = {1.5, -0.25, 1e-6, 123456789012345678.0};
    ExportSource s;
    s.sourceLine = QStringLiteral("Результат измерения 17.05.2023 10:20:30");
    s.axisK = {0.0039, 0.5, 1};
    s.axisC = {12, -3.5, 0};
    s.leftTitle = QStringLiteral("Ускорение, см/с/с");
    s.bottomTitle = QStringLiteral("Время, мс");
    s.comment = QStringLiteral("строка 1\nстрока 2");
    s.storeX = false;
    s.columns = {{QStringLiteral("Y"), y, 4}};
    s.first = 1;
    s.last = 3;

    const QByteArray expected =
        toCp1251(QStringLiteral("Результат измерения 17.05.2023 10:20:30\r"
                                "Channel:\tC (ADC Shift):\tK (ADC Scale):\t\tOUTPUT=(ADCunits - C) * K\r"
                                "1\t12\t0.0039\r"
                                "2\t-3.5\t0.5\r"
                                "3\t0\t1\r"
                                "Ускорение, см/с/с\t<-name of Y axis\r"
                                "Время, мс\t<-name of X axis\r"
                                "строка 1\r\nстрока 2\r"
                                "\r"
                                "Y\t\r"
                                "-0.25\t\r"
                                "1E-6\t\r"
                                "1.23456789012346E17\t\r"));
    EXPECT_EQ(exported(s, textFormat(QLatin1Char('.'))), expected);
}

TEST(TextExport, CsvWithXChannelsModulusSmoothingAndComma)
{
    const double x[] = {0.3125, 0.625};
    const double cx[] = {1.5, 2};
    const double cz[] = {-1, 0.125};
    const double mod[] = {1.8027756377319946, 2.0039};
    ExportSource s;
    s.sourceLine = QStringLiteral("Данные из файла /d/a.axd  17.05.2023 10:20:30");
    s.axisK = {1, 1, 1};
    s.leftTitle = QStringLiteral("L");
    s.bottomTitle = QStringLiteral("B");
    s.smoothWeight = 8;
    s.storeX = true;
    s.x = [&x](std::int64_t i) { return x[i]; };
    s.columns = {{QStringLiteral("X"), cx, 2}, {QStringLiteral("Z"), cz, 2}, {QStringLiteral("IaI"), mod, 2}};
    s.first = 0;
    s.last = 1;
    const QString text = fromCp1251(exported(s, csvFormat(QLatin1Char(','))));
    const QStringList lines = text.split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines[1], QStringLiteral("Channel:;C (ADC Shift):;K (ADC Scale):;;OUTPUT=(ADCunits - C) * K"));
    EXPECT_EQ(lines[7], QStringLiteral("Выполнено сглаживание с весом 8"));
    EXPECT_EQ(lines[8], QString()) << "an empty comment still ends its line";
    EXPECT_EQ(lines[10], QStringLiteral("B;X;Z;IaI;"));
    EXPECT_EQ(lines[11], QStringLiteral("0,3125;1,5;-1;1,80277563773199;"));
    EXPECT_EQ(lines[12], QStringLiteral("0,625;2;0,125;2,0039;"));
    EXPECT_EQ(lines[13], QString()) << "the last row ends in CR too";
}

TEST(TextExport, RowsStayWithinWhatEveryColumnHolds)
{
    const double a[] = {1, 2, 3, 4, 5};
    const double b[] = {1, 2, 3};
    struct Case {
        const char* what;
        std::int64_t first, last;
        std::vector<ExportColumn> columns;
        std::int64_t rows;
    } cases[] = {
        {"all", 0, 4, {{QStringLiteral("X"), a, 5}}, 5},
        {"a shorter column cuts the rows",
         1,
         4,
         {{QStringLiteral("X"), a, 5}, {QStringLiteral("Y"), b, 3}},
         2},
        {"no columns, no rows asked", 0, -1, {}, 0},
        {"start beyond", 6, 9, {{QStringLiteral("X"), a, 5}}, 0},
        {"negative start", -1, 3, {{QStringLiteral("X"), a, 5}}, 0},
    };
    for (const Case& c : cases) {
        ExportSource s;
        s.first = c.first;
        s.last = c.last;
        s.columns = c.columns;
        EXPECT_EQ(exportRowCount(s), c.rows) << c.what;
    }
}

TEST(TextExport, DecimalSeparatorFollowsTheOption)
{
    const QLocale german(QLocale::German);
    EXPECT_EQ(exportDecimalPoint(0, QLocale::c()), QLatin1Char(','));
    EXPECT_EQ(exportDecimalPoint(1, german), QLatin1Char('.'));
    EXPECT_EQ(exportDecimalPoint(-1, german), QLatin1Char(','));
    EXPECT_EQ(exportDecimalPoint(-1, QLocale::c()), QLatin1Char('.'));
}

TEST(TextExport, DateLineHasDateThenTimeAndNoZone)
{
    const QDateTime t(QDate(2023, 5, 17), QTime(10, 20, 30));
    const QString ru = dateTimeText(t, QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(ru, QStringLiteral("17.05.2023 10:20:30"));
    EXPECT_EQ(fileSourceLine(QStringLiteral("/d/a.axd"), t, QLocale(QLocale::Russian, QLocale::Russia)),
              QStringLiteral("Данные из файла /d/a.axd  17.05.2023 10:20:30"));
    // A line break or a tab in the file's name must not split the header line.
    EXPECT_EQ(fileSourceLine(QStringLiteral("/d/a\nb\r\tc.axd"), t, QLocale(QLocale::Russian, QLocale::Russia)),
              QStringLiteral("Данные из файла /d/a?b??c.axd  17.05.2023 10:20:30"));
    const QString us = dateTimeText(t, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith(QStringLiteral("5/17/23 10:20:30"))) << us.toStdString();
}
