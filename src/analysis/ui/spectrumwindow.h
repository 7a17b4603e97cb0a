#pragma once

#include <QWidget>

namespace analysis {

// The spectrum and trend window. It is created hidden right after the main
// window, shown by the first spectrum or trend run, and only hidden when the
// operator closes it.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

} // namespace analysis
