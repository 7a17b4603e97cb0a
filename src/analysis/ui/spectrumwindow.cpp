#include "analysis/ui/spectrumwindow.h"

namespace analysis {

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Спектр/Тренд сигнала"));
    // Only a close box: the window is sized by its settings, not minimised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(794, 515);
}

} // namespace analysis
