#include "files/ui/scalesui.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include "acquisition/measurementrecord.h"
#include "files/scales.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

namespace files {

const char* const kZeroRunTooShortMessage =
    "Нулевые уровни не определены: измерение завершилось, не набрав 2001 выборки. Файл Scales.scl не "
    "изменён.";

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

ScalesUi::ScalesUi(acq::MeasurementRecord& record, QString scalesFile, platform::Dialogs* dialogs,
                   QWidget* parent)
    : QGroupBox(QStringLiteral("Нулевые уровни"), parent), record_(record),
      scalesFile_(std::move(scalesFile)), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("GroupBox1"));
    auto* z = new QGridLayout(this);
    z->setContentsMargins(6, 2, 6, 4);
    z->setVerticalSpacing(1);
    const char* names[3] = {"lbX", "lbY", "lbZ"};
    const char* texts[3] = {"X=0", "Y=0", "Z=0"};
    for (int a = 0; a < 3; ++a) {
        levels_[a] = new QLabel(QLatin1String(texts[a]), this);
        levels_[a]->setObjectName(QLatin1String(names[a]));
        z->addWidget(levels_[a], 0, a);
    }
    Label11 = new QLabel(QStringLiteral("Смещение в ед.АЦП (данные для файла Scales.scl)"), this);
    Label11->setObjectName(QStringLiteral("Label11"));
    btZeros = button(this, "btZeros", QStringLiteral("Вычислить для выбранных каналов"));
    // The last levels of more than 100 units, kept for the clipboard; never shown.
    eClipZeroMax = new QLineEdit(QStringLiteral("4ClipBrdZeroMax"), this);
    eClipZeroMax->setObjectName(QStringLiteral("eClipZeroMax"));
    eClipZeroMax->hide();
    btLoadScalesFile = button(this, "btLoadScalesFile", QStringLiteral("Загрузить файл QX-3scales.scl"));
    btLoadScalesFile->hide();
    btSaveZeros = button(this, "btSaveZeros", QStringLiteral("Сохранить в файл QX-3scales.scl"));
    btSaveZeros->hide();
    // On two lines, so that the panel stays narrow enough to sit beside the options panel.
    Label11->setWordWrap(true);
    z->addWidget(Label11, 1, 0, 1, 3);
    z->addWidget(btZeros, 2, 0, 1, 3);

    for (QWidget* w : std::initializer_list<QWidget*>{this, Label11, levels_[0], levels_[1], levels_[2]})
        platform::setHelpContext(w, 5);
    platform::setHelpContext(btZeros, 309);

    connect(btZeros, &QPushButton::clicked, this, [this] { btZerosClick(); });
    connect(btLoadScalesFile, &QPushButton::clicked, this, [this] { btLoadScalesFileClick(); });
    connect(btSaveZeros, &QPushButton::clicked, this, [this] { btSaveZerosClick(); });
}

QString ScalesUi::levelText(int axis) const
{
    return levels_.at(std::size_t(axis))->text();
}

void ScalesUi::readAtStart()
{
    read(true);
}

void ScalesUi::GetScalesFileData()
{
    read(false);
}

void ScalesUi::read(bool deferNotice)
{
    const platform::IniFile ini(scalesFile_);
    const ScalesData d = readScales(ini, QLocale::system().decimalPoint().at(0));
    record_.baseAxisK = d.k;
    record_.baseAxisC = d.c;
    yTitle_ = d.yTitle;
    emit yTitleRead(yTitle_);
    if (const auto items = rangeItemsForTopRange(d.topRange))
        emit rangeItemsRead(*items);
    if (!d.factorsLookMissing() || !dialogs_)
        return;
    if (!deferNotice) {
        dialogs_->message(window(), QString::fromUtf8(kScalesMissingMessage));
        return;
    }
    // Shown in the middle of the window's creation the notice would stand alone without its
    // window, and a logout could not end the program while it waits there.
    QTimer::singleShot(0, this,
                       [this] { dialogs_->message(window(), QString::fromUtf8(kScalesMissingMessage)); });
}

void ScalesUi::btLoadScalesFileClick()
{
    GetScalesFileData();
}

bool ScalesUi::btSaveZerosClick()
{
    try {
        platform::IniFile ini(scalesFile_);
        writeZeroLevels(ini, record_.zeroLevels);
    } catch (const platform::IniWriteError& e) {
        if (dialogs_)
            dialogs_->error(window(), QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void ScalesUi::btZerosClick()
{
    if (!host_)
        return;
    host_->applyZeroRunSettings();
    capturePending_ = true;
    host_->switchSmoothingOn();
    // A run that did not get going (its message has been shown) leaves nothing pending: the next
    // chart build must not take a file's values for zero levels, and the settings come back now.
    // One still being started over a line reports its failure later (zeroRunEnded).
    if (!host_->startRun())
        zeroRunEnded(false);
}

void ScalesUi::zeroRunEnded(bool started)
{
    if (!capturePending_ || !host_)
        return;
    capturePending_ = false;
    host_->restoreSettings();
    // A failed start has told why; a run that brought too little for a chart says so here.
    if (started && dialogs_)
        dialogs_->message(window(), QString::fromUtf8(kZeroRunTooShortMessage));
}

void ScalesUi::ZeroCapture()
{
    capturePending_ = false;
    if (!host_)
        return;
    const ZeroCaptureResult z =
        captureZeroLevels(host_->channelValues(), host_->channelCounts(), eClipZeroMax->text());
    if (!z.captured) {
        host_->restoreSettings();
        host_->keepRestoredChannels();
        if (dialogs_)
            dialogs_->message(window(), QString::fromUtf8(kZeroRunTooShortMessage));
        return;
    }

    record_.zeroLevels = z.levels;
    const char* names[3] = {"X=", "Y=", "Z="};
    for (int a = 0; a < 3; ++a)
        levels_[a]->setText(QLatin1String(names[a]) + platform::formatD(qint64(z.levels[a])));
    eClipZeroMax->setText(z.clipText);
    if (dialogs_)
        dialogs_->setClipboardText(eClipZeroMax->text());

    host_->restoreSettings();
    host_->keepRestoredChannels();
    if (btSaveZerosClick())
        btLoadScalesFileClick();
}

} // namespace files
