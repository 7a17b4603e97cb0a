#include "analysis/ui/spinedit.h"

#include <QEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>

namespace analysis {

namespace {
// What the edit lets through; the real bounds are the box's own.
constexpr int kEditLimit = 999999;
} // namespace

SpinEdit::SpinEdit(int minimum, int maximum, int initial, QWidget* parent)
    : QSpinBox(parent), min_(minimum), max_(maximum)
{
    QSpinBox::setRange(-kEditLimit, kEditLimit);
    {
        const QSignalBlocker block(this);
        QSpinBox::setValue(clamped(initial));
    }
    // Typing goes through the edit; setValue() announces its own changes.
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::changed);
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] { setValue(this->value()); });
    lineEdit()->installEventFilter(this);
}

int SpinEdit::value() const
{
    bool ok = false;
    const int v = lineEdit()->text().trimmed().toInt(&ok);
    return ok ? v : min_;
}

int SpinEdit::clamped(int v) const
{
    if (min_ == max_)
        return v;
    if (v < min_)
        return min_;
    if (v > max_)
        return max_;
    return v;
}

void SpinEdit::setValue(int v)
{
    v = std::clamp(clamped(v), -kEditLimit, kEditLimit);
    const QString before = lineEdit()->text();
    const QString after = QString::number(v);
    {
        const QSignalBlocker blockBox(this);
        const QSignalBlocker blockEdit(lineEdit());
        QSpinBox::setValue(v);
        if (lineEdit()->text() != after)
            lineEdit()->setText(after);
    }
    if (after != before)
        emit changed();
}

void SpinEdit::stepBy(int steps)
{
    setValue(value() + steps * singleStep());
    selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    if (min_ == max_)
        return StepUpEnabled | StepDownEnabled;
    StepEnabled e = StepNone;
    if (value() < max_)
        e |= StepUpEnabled;
    if (value() > min_)
        e |= StepDownEnabled;
    return e;
}

bool SpinEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonDblClick)
        emit doubleClicked();
    return QSpinBox::eventFilter(watched, event);
}

} // namespace analysis
