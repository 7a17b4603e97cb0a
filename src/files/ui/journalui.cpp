#include "files/ui/journalui.h"

#include <QDialog>
#include <QFile>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <QToolButton>

#include "acquisition/runplan.h"
#include "app/ui/controls.h"
#include "files/ui/measurementfilesui.h"
#include "platform/inifile.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

#include <sys/stat.h>

namespace files {

namespace {

// The same file on disk, whatever the path's spelling or links.
bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Often enough that a full disk is told within about a second of the writer meeting it.
constexpr int kWatchMs = 1000;

// Why an opened journal is not the whole measurement; empty when it is.
QString incompleteWhy(const JournalEntry& e)
{
    if (!e.complete)
        return journalStopText(e);
    if (e.dataBytes < e.expectedBytes)
        return QStringLiteral("передача прервана");
    return {};
}

// One row per journal, the newest first as listed, the first one chosen.
QTreeWidget* journalTree(const std::vector<JournalEntry>& entries, QWidget* parent)
{
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(QStringLiteral("lvJournals"));
    tree->setRootIsDecorated(false);
    tree->setHeaderLabels({QStringLiteral("Время"), QStringLiteral("Каналы"), QStringLiteral("Длина"),
                           QStringLiteral("Комментарий")});
    QTreeWidgetItem* first = nullptr;
    for (const JournalEntry& e : entries) {
        auto* item = new QTreeWidgetItem(journalListRow(e));
        // Another copy is writing it: shown, but nothing may be done with it.
        if (e.inUse)
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        else if (!first)
            first = item;
        tree->addTopLevelItem(item);
    }
    tree->setCurrentItem(first);
    for (int c = 0; c < 3; ++c)
        tree->resizeColumnToContents(c);
    return tree;
}

QDialogButtonBox* listButtons(QWidget* parent)
{
    auto* buttons = new QDialogButtonBox(parent);
    QPushButton* openButton = buttons->addButton(QStringLiteral("Открыть"), QDialogButtonBox::AcceptRole);
    openButton->setObjectName(QStringLiteral("btOpenJournal"));
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    return buttons;
}

} // namespace

QString journalStoppedMessage(QString why)
{
    // The reason is a sentence of its own; here it continues this one.
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (!why.isEmpty())
        why[0] = why[0].toLower();
    return QStringLiteral(
               "Запись измерения на диск остановлена: %1. Измерение продолжается, но до сохранения "
               "оно есть только в памяти программы: сохраните его, когда оно закончится.")
        .arg(why);
}

QStringList journalListRow(const JournalEntry& e)
{
    if (e.inUse)
        return {e.startTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                acq::ChannelSet::fromMask(e.channelMask).letters(),
                QStringLiteral("идёт запись в другой копии программы"), e.comment.section(QLatin1Char('\n'), 0, 0)};
    const QLocale locale = QLocale::system();
    const double seconds = double(e.frames()) * e.samplePeriodUs / 1e6;
    QString length = QStringLiteral("%1 кадров, %2 с").arg(e.frames()).arg(locale.toString(seconds, 'f', 1));
    if (e.damaged)
        length += QStringLiteral(", повреждён");
    else if (!incompleteWhy(e).isEmpty())
        length += QStringLiteral(", неполное");
    return {e.startTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
            acq::ChannelSet::fromMask(e.channelMask).letters(), length,
            e.comment.section(QLatin1Char('\n'), 0, 0)};
}

JournalUi::JournalUi(JournalHost& host, MeasurementFilesUi& files, const acq::MeasurementRecord& record,
                     QString folder, const QString& settingsFile, platform::Dialogs* dialogs, QWidget* window)
    : QObject(window), host_(host), files_(files), record_(record), dialogs_(dialogs), window_(window),
      folder_(std::move(folder))
{
    // How many runs are kept is the operator's to set in "tremor.ini"; the program never writes
    // these keys, and the file's other owners leave them as they are.
    const platform::IniFile ini(settingsFile);
    const QString section = QStringLiteral("Journal");
    limits_.keepRuns = std::max(1, ini.readInteger(section, QStringLiteral("Runs"), limits_.keepRuns));
    limits_.keepBytes = std::uint64_t(std::max(
                            1, ini.readInteger(section, QStringLiteral("MiB"), int(limits_.keepBytes >> 20))))
                        << 20;
    watch_ = new QTimer(this);
    watch_->setInterval(kWatchMs);
    connect(watch_, &QTimer::timeout, this, &JournalUi::watch);

    // Beside the chart's save button, below the plot: the tool strip has no room left at the
    // smallest window. Not the chart's child, which is disabled until the first chart, when a
    // crash's run is wanted most.
    btJournals = new QToolButton(window);
    btJournals->setObjectName(QStringLiteral("btJournals"));
    btJournals->setIcon(app::ownIcon("journal"));
    btJournals->setToolTip(QStringLiteral("Несохранённые измерения…"));
    btJournals->setAccessibleName(QStringLiteral("Несохранённые измерения…"));
    btJournals->resize(25, 21);
    platform::setHelpContext(btJournals, 102); // opens a measurement too
    connect(btJournals, &QToolButton::clicked, this, &JournalUi::showList);
}

// A journal still being written when the window goes without its closing (the program was told
// to quit) is left as the program's end left it, to be offered at the next start.
JournalUi::~JournalUi()
{
    writer_.interrupt();
}

void JournalUi::begin(JournalSource source, acq::ChannelSet channels)
{
    if (folder_.isEmpty())
        return;
    const acq::MeasurementRecord& r = record_;
    JournalStart s;
    s.header.channelMask = channels.mask();
    s.header.samplePeriodUs = r.samplePeriodUs;
    s.axisK = r.axisK;
    s.axisC = r.axisC;
    s.xAxisTitle = host_.timeTitle();
    s.yAxisTitle = host_.valueTitle();
    // A read of the board's memory after a restart knows no start time of its own.
    s.startTime = r.startTime.isValid() ? r.startTime : QDateTime::currentDateTime();
    s.comment = files_.comment();
    s.expectedBytes = r.expectedBytes;
    s.source = source;
    s.simulated = host_.simulatedBoard();
    // The record on screen is this run's now: the journal it came from is no longer held.
    recordHold_.release();
    // Older journals go first, so that the new one finds its room.
    keepWithinLimits(JournalLimits{std::max(1, limits_.keepRuns - 1), limits_.keepBytes});
    s.sequence = nextJournalSequence(folder_);
    QString why;
    if (writer_.begin(folder_, s, why)) {
        recordJournal_ = writer_.path();
        recordGeneration_ = r.generation;
    } else {
        beginFailure_ = why;
        recordJournal_.clear();
    }
    watch_->start();
}

void JournalUi::finish()
{
    // The watch tells a failure the closing met, then stops.
    writer_.finish();
    writer_.recordStop();
    if (!recordJournal_.isEmpty() && record_.generation == recordGeneration_)
        recordHold_.hold(recordJournal_);
}

void JournalUi::interrupt()
{
    writer_.interrupt();
}

void JournalUi::keepWithinLimits(const JournalLimits& limits)
{
    QStringList keep;
    if (!recordJournal_.isEmpty() && record_.generation == recordGeneration_)
        keep << recordJournal_;
    const std::vector<JournalEntry> removed = pruneJournals(folder_, limits, keep);
    // Told by the watch, which the journal about to begin starts: the run's start does not wait.
    if (!removed.empty())
        prunedNotice_ = prunedJournalsText(removed);
}

void JournalUi::watch()
{
    QString why = std::exchange(beginFailure_, {});
    if (why.isEmpty())
        why = writer_.takeFailure();
    if (!why.isEmpty())
        writer_.recordStop();
    if (!writer_.active())
        watch_->stop();
    const QString pruned = std::exchange(prunedNotice_, {});
    if (!dialogs_)
        return;
    if (!pruned.isEmpty())
        dialogs_->message(window_, pruned);
    if (!why.isEmpty())
        dialogs_->message(window_, journalStoppedMessage(why), platform::MessageKind::Warning);
}

void JournalUi::recordSaved(const QString& savedPath)
{
    if (recordJournal_.isEmpty() || record_.generation != recordGeneration_ || recordJournal_ == activePath())
        return;
    const QString journal = std::exchange(recordJournal_, {});
    recordHold_.release();
    // Saved onto the journal itself: the file just written is the measurement now, and stays.
    if (sameFile(savedPath, journal))
        return;
    removeJournal(journal);
}

void JournalUi::offerUnfinished()
{
    if (folder_.isEmpty() || !dialogs_)
        return;
    const std::vector<JournalEntry> left = unfinishedJournals(folder_);
    if (left.empty())
        return;
    // Every one is offered before the keeping may touch it: one alone as itself, several in one
    // question whose "Да" opens the list.
    const bool yes = dialogs_->question(window_, left.size() == 1 ? journalOfferText(left[0]) : journalsOfferText(left));
    for (const JournalEntry& e : left)
        closeUnfinishedJournal(e.path);
    if (!yes)
        return;
    if (left.size() == 1)
        open(left[0]);
    else
        showList();
}

bool JournalUi::open(const JournalEntry& entry)
{
    if (host_.receiving()) {
        if (dialogs_)
            dialogs_->message(
                window_,
                QStringLiteral("Идёт измерение: откройте несохранённое измерение, когда оно закончится."));
        return false;
    }
    if (journalInUse(entry.path)) {
        if (dialogs_)
            dialogs_->message(window_, QStringLiteral("Это измерение ещё записывает другая копия программы: "
                                                      "откройте его, когда та закончит приём."));
        return false;
    }
    const QString why = incompleteWhy(entry);
    if (!files_.openJournal(entry, why))
        return false;
    recordJournal_ = entry.path;
    recordHold_.hold(entry.path);
    recordGeneration_ = record_.generation;
    // Marked as the chart build marks a run of the simulated board.
    if (!why.isEmpty())
        host_.status().setPanelText(1, (entry.simulated ? QStringLiteral("Имитатор платы: ") : QString()) +
                                           acq::startTimeText(entry.startTime, QLocale::system()) +
                                           QStringLiteral(", неполная запись"));
    return true;
}

void JournalUi::showList()
{
    std::vector<JournalEntry> entries = listJournals(folder_);
    std::erase_if(entries, [this](const JournalEntry& e) { return e.path == activePath(); });
    if (entries.empty()) {
        if (dialogs_)
            dialogs_->message(window_, QStringLiteral("Несохранённых измерений нет."));
        return;
    }
    delete list_;
    list_ = new QDialog(window_);
    list_->setObjectName(QStringLiteral("dlgJournals"));
    list_->setWindowTitle(QStringLiteral("Несохранённые измерения"));
    list_->setAttribute(Qt::WA_DeleteOnClose);
    connect(list_, &QObject::destroyed, this, [this] { list_ = nullptr; });
    auto* column = new QVBoxLayout(list_);
    QTreeWidget* tree = journalTree(entries, list_);
    column->addWidget(tree);
    QDialogButtonBox* buttons = listButtons(list_);
    column->addWidget(buttons);
    connectListChoice(tree, buttons, std::move(entries));
    list_->resize(560, 260);
    list_->show();
}

void JournalUi::connectListChoice(QTreeWidget* tree, QDialogButtonBox* buttons,
                                  std::vector<JournalEntry> entries)
{
    const auto openChosen = [this, tree, entries = std::move(entries)] {
        const int row = tree->indexOfTopLevelItem(tree->currentItem());
        if (row < 0)
            return;
        const JournalEntry chosen = entries[std::size_t(row)];
        if (chosen.inUse)
            return;
        list_->close();
        open(chosen);
    };
    connect(buttons, &QDialogButtonBox::accepted, this, openChosen);
    connect(buttons, &QDialogButtonBox::rejected, list_, &QDialog::close);
    connect(tree, &QTreeWidget::itemActivated, this, openChosen);
}

} // namespace files
