#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QIcon>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QStringList>
#include <QWidget>
#include <array>

class QComboBox;
class QToolButton;

namespace app {

// A group box that reports clicks on its own empty area (not on a child).
// Its background is opaque: it floats over the chart.
class PanelBox : public QGroupBox {
    Q_OBJECT
public:
    explicit PanelBox(const QString& title, QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A captioned group of radio buttons with one selected item. Setting the item
// from code announces the change just as a click does, which the window's
// handlers rely on.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent = nullptr);

    int itemIndex() const;
    // An index outside the items is brought into their range.
    void setItemIndex(int index);
    int count() const { return group_.buttons().size(); }
    QAbstractButton* button(int index) const { return group_.button(index); }

signals:
    void changed(int index);

private:
    QButtonGroup group_;
};

// A small coloured panel that opens the colour chooser when clicked.
class ColourPanel : public QFrame {
    Q_OBJECT
public:
    explicit ColourPanel(QWidget* parent = nullptr);
    void setColour(const QColor& c);
    QColor colour() const { return colour_; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QColor colour_{Qt::black};
};

// A spin edit that brings a typed value into its bounds: 300 typed into 0..250 gives 250 as it is
// typed, 0 typed into 1..n gives 1 when editing ends (Enter, leaving the field). A plain spin box
// drops the keystroke that leaves the bounds (300 would become 30) and reverts a value below them.
class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;

signals:
    // The value was brought into the bounds as the field lost the focus. Handlers that act only
    // while the field has the focus (so that values set by the program do not loop back) would
    // miss that change.
    void clampedOnLeave(int value);

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
    void focusOutEvent(QFocusEvent* e) override;
};

// The window's status bar: three panels in a row. The first two are at least as wide as
// designed and widen to their texts; the last runs on to the right edge.
class StatusPanels : public QFrame {
    Q_OBJECT
public:
    StatusPanels(std::array<int, 3> widths, QWidget* parent = nullptr);
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    int panelWidth(int panel) const;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void fitPanels();
    std::array<QLabel*, 3> panels_{};
    std::array<int, 3> widths_{};
};

// A channel's check box takes the channel's colour as its background, its caption in black or
// white, whichever contrasts.
void setChannelBoxColour(QCheckBox* box, const QColor& c);

// Converts a 0x00BBGGRR colour value to a QColor and back.
QColor colourFromBgr(std::uint32_t value);
std::uint32_t bgrFromColour(const QColor& c);

// Gives every input control that shows no caption of its own a name a screen
// reader can speak: the text of the label that names it, else its hint.
void nameUnlabelledControls(QWidget* root);

// One of the program's own icons (src/app/ui/icons/), by its file name without ".svg".
QIcon ownIcon(const char* name);

// A tool bar of the strip: a raised band of flat buttons that never folds its buttons away
// behind an overflow arrow. setUpToolBar makes a frame of a part's own into one.
void setUpToolBar(QFrame* bar, const char* name);
QFrame* toolBar(QWidget* parent, const char* name);
// A flat button added to a tool bar (bar may be null: the window adds it later): its caption, or
// the icon when there is none.
QToolButton* toolButton(QWidget* bar, const char* name, const QString& caption, const QString& hint,
                        const QIcon& icon = {}, const QStringList& otherCaptions = {});

// The window parts build their controls with these, so that every part's lists, spin edits,
// labels and groups behave alike.
// A drop-down list that cannot be typed into.
QComboBox* listBox(QWidget* parent, const char* name, const QStringList& items);
// A SpinEdit with its range and value.
QSpinBox* spinEdit(QWidget* parent, const char* name, int min, int max, int value);
QLabel* label(QWidget* parent, const QString& text, QWidget* buddy = nullptr, const char* name = nullptr);
QGroupBox* group(QWidget* parent, const char* name, const QString& title);
// The caption colour of a button or label.
void setFontColour(QWidget* w, const QColor& c);

} // namespace app
