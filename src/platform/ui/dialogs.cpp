#include "platform/ui/dialogs.h"

#include <cstdio>

#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform {

Dialogs::~Dialogs() = default;

bool Dialogs::question(QWidget*, const QString&)
{
    return false;
}

QString qtFilterFromPipeFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList entries;
    // Description and pattern come in pairs; a description left without a pattern
    // at the end names nothing the dialog could match, so it is left out.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QStringList patterns;
        for (const QString& p : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (!pattern.isEmpty())
                patterns << pattern;
        }
        if (patterns.isEmpty())
            continue;
        const QString list = patterns.join(QLatin1Char(' '));
        entries << (description.isEmpty() ? list
                                          : description + QStringLiteral(" (") + list + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

QString applyDefaultExtension(const QString& name, const QString& ext)
{
    QString suffix = ext.trimmed();
    while (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    if (name.isEmpty() || suffix.isEmpty())
        return name;
    const QString fileName = QFileInfo(name).fileName();
    if (fileName.isEmpty())
        return name; // a folder, not a file name
    // "name." asks for no extension in a way no one means; give it the default one
    // instead of producing "name..axd".
    if (fileName.endsWith(QLatin1Char('.')))
        return name + suffix;
    if (fileName.contains(QLatin1Char('.')))
        return name;
    return name + QLatin1Char('.') + suffix;
}

QString suffixOfNameFilter(const QString& qtNameFilter, const QString& fallback)
{
    const qsizetype open = qtNameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = qtNameFilter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return fallback;
    const QStringList patterns =
        qtNameFilter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (patterns.size() != 1 || !patterns[0].startsWith(QLatin1String("*.")))
        return fallback;
    const QString ext = patterns[0].mid(2);
    if (ext.isEmpty() || ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')))
        return fallback;
    return ext;
}

QString resolveInitialFolder(const QString& folder)
{
    if (folder.trimmed().isEmpty())
        return {};
    const QFileInfo info(QDir::current(), folder);
    if (!info.isDir())
        return {};
    return info.absoluteFilePath();
}

namespace {

QString runFileDialog(QWidget* parent, const FileDialogSpec& spec, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent);
    // The non-native dialog behaves the same on every desktop and honours the
    // default suffix before it checks for overwriting.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    const QString filter = qtFilterFromPipeFilter(spec.filter);
    if (!filter.isEmpty())
        dialog.setNameFilter(filter);
    QString suffix = spec.defaultExtension;
    while (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    // A bare name takes the extension of the type chosen in the list ("run5" saved as CSV is
    // "run5.csv"); a type that names no single extension keeps the default one.
    dialog.setDefaultSuffix(suffixOfNameFilter(dialog.selectedNameFilter(), suffix));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffix](const QString& f) {
        dialog.setDefaultSuffix(suffixOfNameFilter(f, suffix));
    });
    const QString folder = resolveInitialFolder(spec.initialFolder);
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (!spec.fileName.isEmpty())
        dialog.selectFile(spec.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return {};
    return applyDefaultExtension(files.first(), dialog.defaultSuffix());
}

QString boxTitle()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("accel3") : name;
}

void toStandardError(const QString& text)
{
    const QByteArray line = (boxTitle() + QStringLiteral(": ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void QtDialogs::message(QWidget* parent, const QString& text, MessageKind kind)
{
    if (unattended_) {
        toStandardError(text);
        return;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    if (kind == MessageKind::Warning)
        icon = QMessageBox::Warning;
    else if (kind == MessageKind::Error)
        icon = QMessageBox::Critical;
    QMessageBox box(icon, boxTitle(), text, QMessageBox::Ok, parent);
    // Messages carry file names; a name with "<" must not turn the text into markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtDialogs::error(QWidget* parent, const QString& text)
{
    message(parent, text, MessageKind::Error);
}

bool QtDialogs::question(QWidget* parent, const QString& text)
{
    if (unattended_) {
        toStandardError(text + QStringLiteral(" Нет"));
        return false;
    }
    QMessageBox box(QMessageBox::Question, boxTitle(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::openFile(QWidget* parent, const FileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptOpen);
}

QString QtDialogs::saveFile(QWidget* parent, const FileDialogSpec& spec)
{
    return runFileDialog(parent, spec, QFileDialog::AcceptSave);
}

std::optional<QColor> QtDialogs::chooseColour(QWidget* parent, const QColor& initial)
{
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

namespace {

QSpinBox* pictureSideBox(QDialog& dialog)
{
    auto* box = new QSpinBox(&dialog);
    box->setRange(1, kMaxPictureSide);
    box->setSuffix(QStringLiteral(" пикс."));
    return box;
}

// While keep is ticked, a value typed into one box sets the other in the proportions the boxes
// had at first.
void lockProportions(QDialog& dialog, QSpinBox* width, QSpinBox* height, QCheckBox* keep)
{
    // Proportions of the chart on screen, so that a larger picture is the same chart, only finer.
    const double aspect = double(height->value()) / double(width->value());
    // What the lock itself last wrote into each box. Enter makes a box announce its value again;
    // that value, computed from the other box, must not turn round and recompute the typed one
    // (1900 wide gives 923 high, and 923 high would give 1899 wide).
    struct Followed {
        int width = -1;
        int height = -1;
    };
    auto followed = std::make_shared<Followed>();
    const auto follow = [keep](QSpinBox* other, double value, int& noted) {
        if (!keep->isChecked())
            return;
        const QSignalBlocker block(other);
        other->setValue(int(std::lround(value)));
        noted = other->value();
    };
    QObject::connect(width, &QSpinBox::valueChanged, &dialog, [=](int w) {
        if (w != followed->width)
            follow(height, w * aspect, followed->height);
    });
    QObject::connect(height, &QSpinBox::valueChanged, &dialog, [=](int h) {
        if (h != followed->height)
            follow(width, h / aspect, followed->width);
    });
}

void layOutPictureSizeDialog(QDialog& dialog, QSpinBox* width, QSpinBox* height, QCheckBox* keep)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Ширина:"), width);
    form->addRow(QStringLiteral("Высота:"), height);
    form->addRow(keep);
    form->addRow(buttons);
}

} // namespace

std::optional<QSize> QtDialogs::askPictureSize(QWidget* parent, const QSize& suggested)
{
    if (unattended_)
        return std::nullopt;
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Размер рисунка PNG"));
    QSpinBox* width = pictureSideBox(dialog);
    QSpinBox* height = pictureSideBox(dialog);
    width->setValue(std::max(1, suggested.width()));
    height->setValue(std::max(1, suggested.height()));
    auto* keep = new QCheckBox(QStringLiteral("Сохранять пропорции графика"), &dialog);
    keep->setChecked(true);
    lockProportions(dialog, width, height, keep);
    layOutPictureSizeDialog(dialog, width, height, keep);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return QSize(width->value(), height->value());
}

void QtDialogs::setClipboardText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

void QtDialogs::setClipboardPicture(const QByteArray& svg, const QImage& png)
{
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/svg+xml"), svg);
    if (!png.isNull())
        data->setImageData(png);
    QGuiApplication::clipboard()->setMimeData(data); // the clipboard takes ownership
}

QString QtDialogs::clipboardText() const
{
    return QGuiApplication::clipboard()->text();
}

} // namespace platform
