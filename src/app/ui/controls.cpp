#include "app/ui/controls.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace app {

PanelBox::PanelBox(const QString& title, QWidget* parent) : QGroupBox(title, parent)
{
    // The panel lies over the chart: the traces must not run through its captions.
    setAutoFillBackground(true);
}

void PanelBox::mouseReleaseEvent(QMouseEvent* e)
{
    // Only the panel's own empty area counts: a click on one of its controls that the control
    // leaves unhandled (a label, a group's frame, a colour swatch) comes here too.
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton && rect().contains(at) && !childAt(at))
        emit clicked();
    QGroupBox::mouseReleaseEvent(e);
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_.addButton(b, i);
        grid->addWidget(b, i / columns, i % columns);
    }
    if (!items.isEmpty())
        group_.button(0)->setChecked(true);
    connect(&group_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            emit changed(id);
    });
}

int RadioGroup::itemIndex() const
{
    return group_.checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    const int n = count();
    if (n == 0)
        return;
    index = std::clamp(index, 0, n - 1);
    group_.button(index)->setChecked(true);
}

ColourPanel::ColourPanel(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void ColourPanel::setColour(const QColor& c)
{
    colour_ = c;
    update();
}

void ColourPanel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
    // The click is the swatch's: it must not reach the panel around it.
    e->accept();
}

void ColourPanel::mousePressEvent(QMouseEvent* e)
{
    e->accept();
}

void ColourPanel::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    p.fillRect(contentsRect(), colour_);
    p.end();
    QFrame::paintEvent(e);
}

StatusPanels::StatusPanels(std::array<int, 3> widths, QWidget* parent) : QFrame(parent), widths_(widths)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(this);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        // Like a Windows status bar, the last panel runs on to the right edge: the pointer
        // readout it carries is longer than its 50 pixels.
        if (i < 2)
            l->setFixedWidth(widths[i]);
        else
            l->setMinimumWidth(widths[i]);
        l->setTextFormat(Qt::PlainText);
        l->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        row->addWidget(l, i < 2 ? 0 : 1);
        panels_[i] = l;
    }
}

void StatusPanels::setPanelText(int panel, const QString& text)
{
    panels_.at(panel)->setText(text);
    fitPanels();
}

void StatusPanels::resizeEvent(QResizeEvent* e)
{
    QFrame::resizeEvent(e);
    fitPanels();
}

void StatusPanels::fitPanels()
{
    auto needed = [](const QLabel* l) {
        const int frame = l->width() - l->contentsRect().width();
        return l->fontMetrics().horizontalAdvance(l->text()) + frame + 2 * l->margin() + 6;
    };
    // Panels 0 and 1 widen to their texts and push the next ones along, never below their own
    // widths, except that the pointer readout in panel 2 may take back the room their short
    // texts leave empty: on a narrow window it would otherwise lose its last values.
    std::array<int, 2> w{};
    for (std::size_t i = 0; i < 2; ++i)
        w[i] = std::max(widths_[i], needed(panels_[i]));
    const int spacing = layout()->spacing();
    int lacking = needed(panels_[2]) - (width() - w[0] - w[1] - 2 * spacing);
    for (std::size_t i = 2; i-- > 0 && lacking > 0;) {
        const int spare = std::max(0, w[i] - needed(panels_[i]));
        const int give = std::min(spare, lacking);
        w[i] -= give;
        lacking -= give;
    }
    for (std::size_t i = 0; i < 2; ++i)
        panels_[i]->setFixedWidth(w[i]);
    layout()->activate();
    // A text longer than its panel (a start time in a long date format) can still be read
    // in full under the pointer.
    for (QLabel* l : panels_) {
        const bool cut = l->fontMetrics().horizontalAdvance(l->text()) > l->contentsRect().width();
        l->setToolTip(cut ? l->text() : QString());
    }
}

QString StatusPanels::panelText(int panel) const
{
    return panels_.at(panel)->text();
}

int StatusPanels::panelWidth(int panel) const
{
    return panels_.at(panel)->width();
}

void setChannelBoxColour(QCheckBox* box, const QColor& c)
{
    // The check box's own style paints no background from the palette, so the colour goes in a
    // style sheet; the caption is black or white, whichever stands out on it.
    const bool dark = qGray(c.rgb()) < 128;
    box->setStyleSheet(QStringLiteral("QCheckBox { background-color: %1; color: %2; padding: 1px 4px; }")
                           .arg(c.name(), dark ? QStringLiteral("white") : QStringLiteral("black")));
    box->setProperty("channelColour", c);
}

namespace {

// The whole number a spin edit's text holds, if it is one.
std::optional<qint64> typedNumber(const QString& text)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

} // namespace

QValidator::State SpinEdit::validate(QString& text, int& pos) const
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return QValidator::Intermediate;
    const auto v = typedNumber(t);
    if (!v)
        return QValidator::Invalid;
    if (*v > maximum() && minimum() >= 0) {
        // More digits can only make it larger: it becomes the maximum at once, while the field
        // still has the focus and its change handler still acts on it.
        text = textFromValue(maximum());
        pos = int(text.size());
        return QValidator::Acceptable;
    }
    // Below the minimum it may still be the start of a valid number ("1" of "16" in 2..4096);
    // it is brought up when editing ends.
    return *v >= minimum() && *v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void SpinEdit::fixup(QString& text) const
{
    if (const auto v = typedNumber(text))
        text = textFromValue(int(std::clamp<qint64>(*v, minimum(), maximum())));
}

void SpinEdit::focusOutEvent(QFocusEvent* e)
{
    const int before = value();
    QSpinBox::focusOutEvent(e); // fixes up and commits what was typed
    if (value() != before)
        emit clampedOnLeave(value());
}

QColor colourFromBgr(std::uint32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

std::uint32_t bgrFromColour(const QColor& c)
{
    return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

namespace {

bool needsName(QWidget* w)
{
    if (!w->accessibleName().isEmpty())
        return false;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text().isEmpty();
    return qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
           qobject_cast<QPlainTextEdit*>(w) || qobject_cast<ColourPanel*>(w);
}

QString plain(QString text)
{
    text.remove(QLatin1Char('&'));
    return text.simplified();
}

} // namespace

void nameUnlabelledControls(QWidget* root)
{
    const auto labels = root->findChildren<QLabel*>();
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!needsName(w))
            continue;
        QString name;
        for (QLabel* l : labels) {
            if (l->buddy() == w && !l->text().isEmpty()) {
                name = plain(l->text());
                break;
            }
        }
        if (name.isEmpty())
            name = plain(w->toolTip());
        if (name.isEmpty()) {
            // Controls inside a captioned group take the group's caption.
            for (QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget()) {
                if (auto* g = qobject_cast<QGroupBox*>(p); g && !g->title().isEmpty()) {
                    name = plain(g->title());
                    break;
                }
            }
        }
        if (!name.isEmpty())
            w->setAccessibleName(name);
    }
}

QIcon ownIcon(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

QToolButton* toolButton(QWidget* bar, const char* name, const QString& caption, const QString& hint,
                        const QIcon& icon, const QStringList& otherCaptions)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(QLatin1String(name));
    if (!caption.isEmpty()) {
        b->setText(caption);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    } else {
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFixedHeight(26);
    // The four bands share a narrow strip: each button is as wide as the longest caption it
    // ever shows (an open panel's button reads "Закрыть") or its glyph, never cut.
    int w = 21;
    if (!caption.isEmpty())
        for (const QString& text : QStringList{caption} + otherCaptions)
            w = std::max(w, b->fontMetrics().horizontalAdvance(text) + 6);
    b->setFixedWidth(w);
    // A part's button is made before the window puts it into its bar.
    if (bar)
        bar->layout()->addWidget(b);
    return b;
}

void setUpToolBar(QFrame* bar, const char* name)
{
    bar->setObjectName(QLatin1String(name));
    bar->setFrameShape(QFrame::Panel);
    bar->setFrameShadow(QFrame::Raised);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);
}

QFrame* toolBar(QWidget* parent, const char* name)
{
    auto* bar = new QFrame(parent);
    setUpToolBar(bar, name);
    return bar;
}

QComboBox* listBox(QWidget* parent, const char* name, const QStringList& items)
{
    // Selection-only: a typed text could leave the list without an item.
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(false);
    c->addItems(items);
    return c;
}

QSpinBox* spinEdit(QWidget* parent, const char* name, int min, int max, int value)
{
    auto* s = new SpinEdit(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(min, max);
    s->setValue(value);
    return s;
}

QLabel* label(QWidget* parent, const QString& text, QWidget* buddy, const char* name)
{
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(QLatin1String(name));
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& title)
{
    auto* g = new QGroupBox(title, parent);
    if (name)
        g->setObjectName(QLatin1String(name));
    return g;
}

void setFontColour(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::ButtonText, c);
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}

} // namespace app
