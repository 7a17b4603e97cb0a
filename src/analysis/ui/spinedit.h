#pragma once

#include <QSpinBox>

namespace analysis {

// A spin box whose change handler and bounds work the way the spectrum
// window's rules are written for:
// - value() is the number typed, not clamped; a text that is no number reads
//   as the minimum;
// - setValue() clamps into [minimum, maximum] when the two differ;
// - setMaximumValue() moves the bound without touching the value shown;
// - every change of the text, typed, stepped or set, emits changed(), also a
//   text that is no number (an empty box).
// The box accepts any whole number the edit can hold; the bounds only steer
// setValue() and the arrows, and are applied when editing finishes.
class SpinEdit : public QSpinBox {
    Q_OBJECT
  public:
    SpinEdit(int minimum, int maximum, int initial, QWidget* parent = nullptr);

    int value() const;
    void setValue(int v);

    int minimumValue() const { return min_; }
    int maximumValue() const { return max_; }
    void setMaximumValue(int max) { max_ = max; }

  signals:
    void changed();
    void doubleClicked();

  protected:
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int clamped(int v) const;

    int min_;
    int max_;
};

} // namespace analysis
