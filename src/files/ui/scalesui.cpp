#include "files/ui/scalesui.h"

#include <QLocale>
#include <QTimer>

#include "app/ui/mainwindow.h"
#include "files/scales.h"
#include "platform/inifile.h"
#include "platform/numtext.h"
#include "platform/ui/dialogs.h"

namespace files {

const char* const kZeroRunTooShortMessage =
    "Нулевые уровни не определены: измерение завершилось, не набрав 2001 выборки. Файл Scales.scl не "
    "изменён.";

ScalesUi::ScalesUi(app::TForm1& form) : form_(form)
{
    connect(form.btZeros, &QPushButton::clicked, this, [this] { btZerosClick(); });
    connect(form.btLoadScalesFile, &QPushButton::clicked, this, [this] { btLoadScalesFileClick(); });
    connect(form.btSaveZeros, &QPushButton::clicked, this, [this] { btSaveZerosClick(); });
}

void ScalesUi::GetScalesFileData()
{
    const platform::IniFile ini(form_.paths.scalesFile);
    const ScalesData d = readScales(ini, QLocale::system().decimalPoint().at(0));
    form_.record.baseAxisK = d.k;
    form_.record.baseAxisC = d.c;
    form_.scalesYTitle = d.yTitle;
    if (const auto items = rangeItemsForTopRange(d.topRange)) {
        // Renamed in place: the selected item and the list's handlers stay as they were.
        for (int i = 0; i < items->size() && i < form_.cbRange->count(); ++i)
            form_.cbRange->setItemText(i, items->at(i));
    }
    if (!d.factorsLookMissing() || !form_.services().dialogs)
        return;
    if (form_.formReady) {
        form_.services().dialogs->message(&form_, QString::fromUtf8(kScalesMissingMessage));
        return;
    }
    // At start-up the notice waits for the event loop: shown in the middle of the window's
    // creation it would stand alone without its window, and a logout could not end the program
    // while it waits there.
    QTimer::singleShot(0, &form_, [dialogs = form_.services().dialogs, form = &form_] {
        dialogs->message(form, QString::fromUtf8(kScalesMissingMessage));
    });
}

void ScalesUi::btLoadScalesFileClick()
{
    GetScalesFileData();
}

bool ScalesUi::btSaveZerosClick()
{
    try {
        platform::IniFile ini(form_.paths.scalesFile);
        writeZeroLevels(ini, form_.record.zeroLevels);
    } catch (const platform::IniWriteError& e) {
        if (form_.services().dialogs)
            form_.services().dialogs->error(&form_, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

ScalesUi::Backup ScalesUi::takeBackup() const
{
    Backup b;
    for (int i = 0; i < 3; ++i)
        b.channels[i] = form_.channelBoxes[i]->isChecked();
    b.samples = form_.seSamples->value();
    b.view = form_.cbShowK->currentIndex();
    b.smoothWeight = form_.seSmooth->value();
    b.smooth = form_.cbSmooth->isChecked();
    b.frequency = form_.cbF->currentIndex();
    b.range = form_.cbRange->currentIndex();
    b.target = form_.rgMem->itemIndex();
    return b;
}

void ScalesUi::restore(const Backup& b)
{
    for (int i = 0; i < 3; ++i)
        form_.channelBoxes[i]->setChecked(b.channels[i]);
    form_.seSamples->setValue(b.samples);
    form_.cbShowK->setCurrentIndex(b.view);
    form_.seSmooth->setValue(b.smoothWeight);
    form_.cbSmooth->setChecked(b.smooth);
    form_.cbF->setCurrentIndex(b.frequency);
    form_.cbRange->setCurrentIndex(b.range);
    form_.rgMem->setItemIndex(b.target);
}

void ScalesUi::btZerosClick()
{
    backup_ = takeBackup();
    for (QCheckBox* box : form_.channelBoxes)
        box->setChecked(true);
    form_.seSamples->setValue(2500);
    form_.cbRange->setCurrentIndex(0);
    form_.rgMem->setItemIndex(0);
    form_.cbF->setCurrentIndex(0);
    form_.cbShowK->setCurrentIndex(1);
    form_.seSmooth->setValue(500);
    // Pending before smoothing goes on: the smoothing switch then does not rebuild the chart.
    form_.zeroCapturePending = true;
    form_.cbSmooth->setChecked(true);
    form_.btStartClick();
    // A run that did not get going (its message has been shown) leaves nothing pending: the next
    // chart build must not take a file's values for zero levels, and the settings come back now.
    if (form_.zeroCapturePending && !form_.timRx->isActive()) {
        form_.zeroCapturePending = false;
        restore(backup_);
    }
}

void ScalesUi::ZeroCapture()
{
    form_.zeroCapturePending = false;
    const display::SignalChart* chart = form_.Chart1;
    std::array<const double*, 3> values{};
    std::array<long long, 3> counts{};
    for (int a = 0; a < 3; ++a) {
        values[a] = chart->yValues(form_.channelSeries[a]);
        counts[a] = chart->pointCount(form_.channelSeries[a]);
    }
    const ZeroCaptureResult z = captureZeroLevels(values, counts, form_.eClipZeroMax->text());
    if (!z.captured) {
        restore(backup_);
        if (form_.services().dialogs)
            form_.services().dialogs->message(&form_, QString::fromUtf8(kZeroRunTooShortMessage));
        return;
    }

    form_.record.zeroLevels = z.levels;
    QLabel* labels[3] = {form_.lbX, form_.lbY, form_.lbZ};
    const char* names[3] = {"X=", "Y=", "Z="};
    for (int a = 0; a < 3; ++a)
        labels[a]->setText(QLatin1String(names[a]) + platform::formatD(qint64(z.levels[a])));
    form_.eClipZeroMax->setText(z.clipText);
    if (form_.services().dialogs)
        form_.services().dialogs->setClipboardText(form_.eClipZeroMax->text());

    restore(backup_);
    if (btSaveZerosClick())
        btLoadScalesFileClick();
}

} // namespace files
