#include "acquisition/ui/boardchooser.h"

#include "acquisition/boardsearch.h"
#include "acquisition/ui/measurementrun.h"
#include "platform/atomicfile.h"
#include "platform/inifile.h"
#include "platform/ui/dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace acq {

namespace {

const QString kSimulatedTitle = QStringLiteral(" — имитатор платы");

} // namespace

BoardChooser::BoardChooser(DeviceSettings base, QString ruleFolder, platform::Dialogs* dialogs, QWidget* parent)
    : QDialog(parent), base_(std::move(base)), ruleFolder_(std::move(ruleFolder)), dialogs_(dialogs)
{
    setObjectName(QStringLiteral("BoardChooser"));
    setWindowTitle(QStringLiteral("Плата"));
    auto* column = new QVBoxLayout(this);
    buildCandidateList(column);
    buildCheckRow(column);
    buildRuleRow(column);
    if (!qEnvironmentVariable(kDeviceEnvironmentVariable).trimmed().isEmpty()) {
        auto* note =
            new QLabel(QStringLiteral("Переменная окружения ACCEL3_DEVICE задана: при следующем запуске "
                                      "плату выберет она, а не device.ini."),
                       this);
        note->setWordWrap(true);
        column->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Выбрать"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    column->addWidget(buttons);
    connectControls(buttons);
    list->setCurrentRow(0);
}

void BoardChooser::buildCandidateList(QVBoxLayout* column)
{
    column->addWidget(new QLabel(QStringLiteral("Плата, с которой работает программа:"), this));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("list"));
    candidates_ = listBoardCandidates(base_.serial.candidates);
    for (const BoardCandidate& c : candidates_)
        list->addItem(c.label());
    list->setMinimumWidth(420);
    column->addWidget(list);
}

void BoardChooser::buildCheckRow(QVBoxLayout* column)
{
    auto* checkRow = new QHBoxLayout;
    btCheck = new QPushButton(QStringLiteral("Проверить"), this);
    btCheck->setObjectName(QStringLiteral("btCheck"));
    btCheck->setToolTip(QStringLiteral("Спросить у выбранного устройства код акселерометра"));
    lbCheck = new QLabel(this);
    lbCheck->setObjectName(QStringLiteral("lbCheck"));
    lbCheck->setWordWrap(true);
    checkRow->addWidget(btCheck);
    checkRow->addWidget(lbCheck, 1);
    column->addLayout(checkRow);
}

void BoardChooser::buildRuleRow(QVBoxLayout* column)
{
    btRule = new QPushButton(QStringLiteral("Правило udev…"), this);
    btRule->setObjectName(QStringLiteral("btRule"));
    btRule->setToolTip(QStringLiteral("Записать правило udev, которое даёт доступ к этой плате без прав root"));
    auto* ruleRow = new QHBoxLayout;
    ruleRow->addWidget(btRule);
    ruleRow->addStretch(1);
    column->addLayout(ruleRow);
    mRuleCommand = new QPlainTextEdit(this);
    mRuleCommand->setObjectName(QStringLiteral("mRuleCommand"));
    mRuleCommand->setReadOnly(true);
    mRuleCommand->setMaximumHeight(mRuleCommand->fontMetrics().lineSpacing() * 5);
    mRuleCommand->hide();
    column->addWidget(mRuleCommand);
}

void BoardChooser::connectControls(QDialogButtonBox* buttons)
{
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btCheck, &QPushButton::clicked, this, &BoardChooser::btCheckClick);
    connect(btRule, &QPushButton::clicked, this, &BoardChooser::btRuleClick);
    connect(list, &QListWidget::currentRowChanged, this, &BoardChooser::selectionChanged);
}

BoardChooser::~BoardChooser()
{
    // The probe holds the port it asks; it ends within its wait.
    if (probe_)
        probe_->wait();
}

const BoardCandidate* BoardChooser::chosen() const
{
    const int row = list->currentRow();
    return row >= 0 && row < int(candidates_.size()) ? &candidates_[std::size_t(row)] : nullptr;
}

void BoardChooser::selectionChanged()
{
    lbCheck->clear();
    mRuleCommand->hide();
    const BoardCandidate* c = chosen();
    btRule->setEnabled(c && !c->usbId.isEmpty());
    btCheck->setEnabled(c && !probe_);
}

void BoardChooser::btCheckClick()
{
    const BoardCandidate* c = chosen();
    if (!c || probe_)
        return;
    lbCheck->setText(QStringLiteral("Проверка…"));
    btCheck->setEnabled(false);
    list->setEnabled(false);
    // Opening a port and waiting for the reply would hold the window: the probe runs beside it.
    auto outcome = std::make_shared<std::pair<QString, bool>>();
    probe_ = QThread::create([settings = settingsFor(base_, *c), outcome] {
        outcome->first = probeCandidate(settings, outcome->second);
    });
    connect(probe_, &QThread::finished, this, [this, outcome] {
        probe_->deleteLater();
        probe_ = nullptr;
        lbCheck->setText(outcome->first);
        list->setEnabled(true);
        btCheck->setEnabled(true);
        emit checked(outcome->second);
    });
    probe_->start();
}

void BoardChooser::btRuleClick()
{
    const BoardCandidate* c = chosen();
    if (!c)
        return;
    QString why;
    const QString rule = udevRuleFor(*c, why);
    if (rule.isEmpty()) {
        if (dialogs_)
            dialogs_->message(this, why);
        return;
    }
    const QString path = QDir(ruleFolder_).filePath(QString::fromLatin1(kBoardRuleName));
    if (const auto failure = platform::writeFileAtomically(path, rule.toUtf8())) {
        if (dialogs_)
            dialogs_->error(this, failure->message());
        return;
    }
    const QString command = udevInstallCommand(path);
    mRuleCommand->setPlainText(
        QStringLiteral("Правило записано в %1. Установите его с правами root (команда скопирована в буфер "
                       "обмена) и подключите плату заново:\n%2")
            .arg(path, command));
    mRuleCommand->show();
    if (dialogs_)
        dialogs_->setClipboardText(command);
}

BoardChoiceUi::BoardChoiceUi(MeasurementRun& run, QToolButton* connection, QString deviceFile, QString ruleFolder,
                             platform::Dialogs* dialogs)
    : QObject(connection->window()), run_(run), window_(connection->window()), deviceFile_(std::move(deviceFile)),
      ruleFolder_(std::move(ruleFolder)), dialogs_(dialogs), caption_(window_->windowTitle()),
      searchPoll_(new QTimer(this))
{
    auto* menu = new QMenu(window_);
    QAction* choose = menu->addAction(QStringLiteral("Плата…"));
    choose->setObjectName(QStringLiteral("actBoard"));
    connect(choose, &QAction::triggered, this, &BoardChoiceUi::btBoardClick);
    connection->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(connection, &QWidget::customContextMenuRequested, menu,
            [menu, connection](const QPoint& at) { menu->popup(connection->mapToGlobal(at)); });
    // A search begun at start ends on its own thread; the window learns of it here.
    searchPoll_->setInterval(100);
    connect(searchPoll_, &QTimer::timeout, this, [this] {
        const auto* search = dynamic_cast<const BoardSearch*>(&run_.device().backend());
        if (search && !search->finished())
            return;
        searchPoll_->stop();
        run_.showBoard();
        showBoardKind();
    });
    searchPoll_->start();
    showBoardKind();
}

BoardChoiceUi::~BoardChoiceUi() = default;

void BoardChoiceUi::showBoardKind()
{
    window_->setWindowTitle(run_.device().backend().simulated() ? caption_ + kSimulatedTitle : caption_);
}

void BoardChoiceUi::btBoardClick()
{
    if (chooser_)
        return;
    if (run_.polling()) {
        if (dialogs_)
            dialogs_->message(window_, QStringLiteral("Плату можно сменить, когда нет измерения и чтения памяти."));
        return;
    }
    const QString env = qEnvironmentVariable(kDeviceEnvironmentVariable);
    const DeviceSettings current = readDeviceSettings(deviceFile_, env);
    // The ports and the device of the board in use are let go, so that "Проверить" can open them.
    run_.setBackend(std::make_unique<NoBoard>(QStringLiteral("плата выбирается")));
    chooser_ = new BoardChooser(current, ruleFolder_, dialogs_, window_);
    chooser_->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser_, &QDialog::finished, this, [this, current](int result) {
        if (result == QDialog::Accepted && chooser_ && chooser_->chosen())
            apply(*chooser_->chosen());
        else
            run_.setBackend(makeBackend(current, run_.ticks()));
        showBoardKind();
        searchPoll_->start();
    });
    chooser_->open();
}

void BoardChoiceUi::apply(const BoardCandidate& c)
{
    try {
        saveBoardChoice(deviceFile_, c);
    } catch (const platform::IniWriteError& e) {
        if (dialogs_)
            dialogs_->error(window_, e.message());
    }
    // The choice holds for this session even when the file could not take it, and even when the
    // environment variable will choose at the next start.
    const DeviceSettings s = settingsFor(readDeviceSettings(deviceFile_, {}), c);
    run_.setBackend(makeBackend(s, run_.ticks()));
}

} // namespace acq
