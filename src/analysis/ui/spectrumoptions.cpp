#include "analysis/ui/spectrumoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

#include "platform/inifile.h"
#include "platform/numtext.h"

namespace analysis {

namespace {

const QString kSection = QStringLiteral("SpectrumAnalysis");
constexpr int kOverlaps[] = {0, 50, 75};

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

void setIndexFrom(QComboBox* box, int index, int fallback)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : fallback);
}

} // namespace

SpectrumOptionsPanel::SpectrumOptionsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("spectrumOptions"));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);

    buildSpectrumControls();
    buildResultControls();
    layOutRows();
    connectControls();
}

void SpectrumOptionsPanel::buildSpectrumControls()
{
    cbWindow = new QComboBox(this);
    cbWindow->setObjectName(QStringLiteral("cbWindow"));
    cbWindow->addItems({QStringLiteral("прямоугольное"), QStringLiteral("Ханна"), QStringLiteral("Хэмминга"),
                        QStringLiteral("Блэкмана–Харриса"), QStringLiteral("плоская вершина")});
    cbWindow->setToolTip(QStringLiteral("Оконная функция. Амплитуды поправлены на когерентное усиление окна, "
                                        "спектральная плотность — на его шумовую полосу."));
    cbSegment = new QComboBox(this);
    cbSegment->setObjectName(QStringLiteral("cbSegment"));
    cbSegment->addItem(QStringLiteral("нет"), 0);
    for (int n = minSegment; n <= maxSegment; n *= 2)
        cbSegment->addItem(QString::number(n), n);
    cbSegment->setToolTip(QStringLiteral("Усреднение по Уэлчу: длина отрезка в точках; «нет» — одно "
                                         "преобразование, как в обычном спектре."));
    cbOverlap = new QComboBox(this);
    cbOverlap->setObjectName(QStringLiteral("cbOverlap"));
    for (int o : kOverlaps)
        cbOverlap->addItem(QStringLiteral("%1 %").arg(o), o);
    cbScale = new QComboBox(this);
    cbScale->setObjectName(QStringLiteral("cbScale"));
    cbScale->addItems({QStringLiteral("амплитуда"), QStringLiteral("СКЗ"), QStringLiteral("СПМ"),
                       QStringLiteral("√СПМ")});
    cbScale->setToolTip(QStringLiteral("Амплитуда, среднеквадратичное значение (СКЗ), спектральная плотность "
                                       "мощности (ед.²/Гц) или её корень (ед./√Гц)."));
    cbDb = new QCheckBox(QStringLiteral("дБ"), this);
    cbDb->setObjectName(QStringLiteral("cbDb"));
    cbDb->setToolTip(QStringLiteral("Децибелы относительно 1 единицы шкалы."));
    cbLogF = new QCheckBox(QStringLiteral("лог. F"), this);
    cbLogF->setObjectName(QStringLiteral("cbLogF"));
    seFmin = new QDoubleSpinBox(this);
    seFmin->setObjectName(QStringLiteral("seFmin"));
    seFmin->setRange(0, 1600);
    seFmin->setDecimals(2);
    seFmin->setToolTip(QStringLiteral("Нижняя граница частот; верхняя — Fmax."));
}

void SpectrumOptionsPanel::buildResultControls()
{
    cbPeaks = new QCheckBox(QStringLiteral("Пики:"), this);
    cbPeaks->setObjectName(QStringLiteral("cbPeaks"));
    sePeaks = new QSpinBox(this);
    sePeaks->setObjectName(QStringLiteral("sePeaks"));
    sePeaks->setRange(1, 50);
    sePeaks->setValue(5);
    cbAllChannels = new QCheckBox(QStringLiteral("все каналы"), this);
    cbAllChannels->setObjectName(QStringLiteral("cbAllChannels"));
    cbAllChannels->setToolTip(QStringLiteral("Спектры всех показанных каналов вместе, в цветах каналов."));
    cbModulus = new QCheckBox(QStringLiteral("|a|"), this);
    cbModulus->setObjectName(QStringLiteral("cbModulus"));
    cbModulus->setToolTip(QStringLiteral("Добавить спектр модуля |a|."));
    cbEncoding = new QComboBox(this);
    cbEncoding->setObjectName(QStringLiteral("cbEncoding"));
    cbEncoding->addItems({QStringLiteral("Windows-1251"), QStringLiteral("UTF-8")});
    cbEncoding->setToolTip(QStringLiteral("Кодировка файла спектра CSV."));
    btSpectrogram = new QPushButton(QStringLiteral("Спектрограмма"), this);
    btSpectrogram->setObjectName(QStringLiteral("btSpectrogram"));
    btSaveSpectrum = new QPushButton(QStringLiteral("Сохранить…"), this);
    btSaveSpectrum->setObjectName(QStringLiteral("btSaveSpectrum"));
    btSaveSpectrum->setToolTip(QStringLiteral("Сохранить спектр в файл: таблица CSV или рисунок SVG/PNG."));
    lbAverages = new QLabel(this);
    lbAverages->setObjectName(QStringLiteral("lbAverages"));
    lbBandRms = new QLabel(this);
    lbBandRms->setObjectName(QStringLiteral("lbBandRms"));
    lbBandRms->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbBandRms->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void SpectrumOptionsPanel::layOutRows()
{
    auto* rows = new QGridLayout(this);
    rows->setContentsMargins(4, 1, 4, 1);
    rows->setVerticalSpacing(1);
    auto* first = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    for (QHBoxLayout* row : {first, second})
        row->setSpacing(4);
    first->addWidget(caption(QStringLiteral("Окно"), cbWindow, this));
    first->addWidget(cbWindow);
    first->addWidget(caption(QStringLiteral("Усреднение"), cbSegment, this));
    first->addWidget(cbSegment);
    first->addWidget(cbOverlap);
    first->addWidget(caption(QStringLiteral("Шкала"), cbScale, this));
    first->addWidget(cbScale);
    first->addWidget(cbDb);
    first->addWidget(cbLogF);
    first->addWidget(caption(QStringLiteral("Fmin,Гц"), seFmin, this));
    first->addWidget(seFmin);
    first->addWidget(lbAverages);
    first->addStretch(1);
    second->addWidget(cbPeaks);
    second->addWidget(sePeaks);
    second->addWidget(cbAllChannels);
    second->addWidget(cbModulus);
    second->addWidget(btSpectrogram);
    second->addWidget(btSaveSpectrum);
    second->addWidget(cbEncoding);
    second->addWidget(lbBandRms, 1);
    rows->addLayout(first, 0, 0);
    rows->addLayout(second, 1, 0);
    for (QWidget* w : findChildren<QWidget*>())
        w->setMaximumHeight(19);
}

void SpectrumOptionsPanel::connectControls()
{
    // Overlap means nothing without averaging.
    auto follow = [this] { cbOverlap->setEnabled(cbSegment->currentData().toInt() > 0); };
    connect(cbSegment, &QComboBox::currentIndexChanged, this, follow);
    connect(cbPeaks, &QCheckBox::toggled, sePeaks, &QWidget::setEnabled);
    cbOverlap->setCurrentIndex(1);
    follow();
    sePeaks->setEnabled(false);
    connect(btSpectrogram, &QPushButton::clicked, this, &SpectrumOptionsPanel::spectrogramRequested);
    connect(btSaveSpectrum, &QPushButton::clicked, this, &SpectrumOptionsPanel::saveRequested);
}

AnalysisSettings SpectrumOptionsPanel::settings() const
{
    AnalysisSettings a;
    a.window = WindowKind(cbWindow->currentIndex());
    a.segment = cbSegment->currentData().toInt();
    a.overlapPercent = cbOverlap->currentData().toInt();
    a.scale = SpectrumScale(cbScale->currentIndex());
    a.decibels = cbDb->isChecked();
    a.logFrequency = cbLogF->isChecked();
    a.fminHz = seFmin->value();
    a.peaks = cbPeaks->isChecked() ? sePeaks->value() : 0;
    a.otherChannels = cbAllChannels->isChecked() || cbModulus->isChecked();
    return a;
}

void SpectrumOptionsPanel::setUpperLimit(double hz)
{
    // One hundredth, the box's resolution, below: an empty band shows nothing and measures no RMS.
    if (std::isfinite(hz))
        seFmin->setMaximum(std::max(0.0, hz - 0.01));
}

bool SpectrumOptionsPanel::utf8Files() const
{
    return cbEncoding->currentIndex() == 1;
}

bool SpectrumOptionsPanel::withModulus() const
{
    return cbModulus->isChecked();
}

void SpectrumOptionsPanel::load(const platform::IniFile& ini)
{
    const auto window = windowFromName(ini.readString(kSection, QStringLiteral("Window"), QString()));
    cbWindow->setCurrentIndex(window ? int(*window) : 0);
    const int segment = ini.readInteger(kSection, QStringLiteral("Segment"), 0);
    setIndexFrom(cbSegment, cbSegment->findData(segment), 0);
    setIndexFrom(cbOverlap, cbOverlap->findData(ini.readInteger(kSection, QStringLiteral("Overlap"), 50)), 1);
    const auto scale = scaleFromName(ini.readString(kSection, QStringLiteral("Scale"), QString()));
    cbScale->setCurrentIndex(scale ? int(*scale) : 0);
    cbDb->setChecked(ini.readBool(kSection, QStringLiteral("Decibels"), false));
    cbLogF->setChecked(ini.readBool(kSection, QStringLiteral("LogFrequency"), false));
    // Hundredths of a hertz: the settings file keeps whole numbers.
    seFmin->setValue(ini.readInteger(kSection, QStringLiteral("FminCentiHz"), 0) / 100.0);
    cbPeaks->setChecked(ini.readBool(kSection, QStringLiteral("Peaks"), false));
    sePeaks->setValue(ini.readInteger(kSection, QStringLiteral("PeakCount"), 5));
    cbAllChannels->setChecked(ini.readBool(kSection, QStringLiteral("AllChannels"), false));
    cbModulus->setChecked(ini.readBool(kSection, QStringLiteral("Modulus"), false));
    cbEncoding->setCurrentIndex(ini.readBool(kSection, QStringLiteral("Utf8"), false) ? 1 : 0);
}

void SpectrumOptionsPanel::save(platform::IniFile& ini) const
{
    // The keys go into the caller's file object, which writes them together
    // with the window's own in one save.
    auto putString = [&](const char* key, const QString& v) { ini.setString(kSection, QLatin1String(key), v); };
    auto putInteger = [&](const char* key, int v) { ini.setInteger(kSection, QLatin1String(key), v); };
    auto putBool = [&](const char* key, bool v) { ini.setBool(kSection, QLatin1String(key), v); };
    const AnalysisSettings a = settings();
    putString("Window", windowName(a.window));
    putInteger("Segment", a.segment);
    putInteger("Overlap", a.overlapPercent);
    putString("Scale", scaleName(a.scale));
    putBool("Decibels", a.decibels);
    putBool("LogFrequency", a.logFrequency);
    putInteger("FminCentiHz", int(std::lround(a.fminHz * 100)));
    putBool("Peaks", cbPeaks->isChecked());
    putInteger("PeakCount", sePeaks->value());
    putBool("AllChannels", cbAllChannels->isChecked());
    putBool("Modulus", cbModulus->isChecked());
    putBool("Utf8", utf8Files());
}

void SpectrumOptionsPanel::showResult(const SpectralAnalysis& a)
{
    const QString dp = QLocale::system().decimalPoint();
    const QChar sep = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
    auto num = [sep](double v) { return platform::generalNumberText(std::round(v * 1e4) / 1e4, sep); };
    const int averages = a.channels.empty() ? 0 : a.channels.front().spectrum.averages;
    QString done = QStringLiteral("Усреднений: %1").arg(averages);
    if (a.cutShort())
        done += QStringLiteral("; взяты первые %1 из %2 точек").arg(a.pointsAnalysed()).arg(a.pointsGiven);
    lbAverages->setText(done);
    QStringList rms;
    for (const ChannelAnalysis& c : a.channels)
        rms << c.letter + QLatin1Char('=') + num(c.bandRms);
    const double top = std::isfinite(a.fmaxHz) ? a.fmaxHz : (a.channels.empty() ? 0 : a.channels.front().spectrum.rateHz / 2);
    bandRms_ = QStringLiteral("СКЗ %1–%2 Гц: %3").arg(num(a.fminHz), num(top), rms.join(QStringLiteral("; ")));
    fitBandRms();
}

void SpectrumOptionsPanel::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    fitBandRms();
}

void SpectrumOptionsPanel::fitBandRms()
{
    const QString shown = lbBandRms->fontMetrics().elidedText(bandRms_, Qt::ElideRight, lbBandRms->contentsRect().width());
    lbBandRms->setText(shown);
    lbBandRms->setToolTip(shown == bandRms_ ? QString() : bandRms_);
}

void SpectrumOptionsPanel::clearResult()
{
    lbAverages->clear();
    bandRms_.clear();
    fitBandRms();
}

} // namespace analysis
