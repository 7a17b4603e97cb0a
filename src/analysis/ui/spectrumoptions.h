#pragma once

#include <QWidget>

#include "analysis/spectralreport.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace platform {
class IniFile;
}

namespace analysis {

// The spectrum window's analysis controls beyond the plain spectrum: window
// function, averaging, scale, dB, logarithmic frequencies, lower limit, peaks,
// channels, and the spectrogram and save buttons, with what an analysis found
// (averages, band RMS). It sits in the strip under the chart and keeps
// its choices in a settings section of its own. At its defaults the window
// shows the plain spectrum.
class SpectrumOptionsPanel : public QWidget {
    Q_OBJECT
  public:
    explicit SpectrumOptionsPanel(QWidget* parent = nullptr);

    AnalysisSettings settings() const;
    // Whether the spectrum file is written in UTF-8 (else Windows-1251).
    bool utf8Files() const;
    bool withModulus() const;

    // The upper frequency limit of the analysis: the lower one stays below it.
    void setUpperLimit(double hz);

    void load(const platform::IniFile& ini);
    void save(platform::IniFile& ini) const;

    // What the last analysis found; cleared for the plain spectrum.
    void showResult(const SpectralAnalysis& a);
    void clearResult();
    // The band RMS of the last analysis, whole, however much of it the label shows.
    QString bandRms() const { return bandRms_; }

    // The height the two rows of controls need.
    static constexpr int stripHeight = 41;

    QComboBox* cbWindow;
    QComboBox* cbSegment;
    QComboBox* cbOverlap;
    QComboBox* cbScale;
    QCheckBox* cbDb;
    QCheckBox* cbLogF;
    QDoubleSpinBox* seFmin;
    QCheckBox* cbPeaks;
    QSpinBox* sePeaks;
    QCheckBox* cbAllChannels;
    QCheckBox* cbModulus;
    QComboBox* cbEncoding;
    QPushButton* btSpectrogram;
    QPushButton* btSaveSpectrum;
    QLabel* lbAverages;
    QLabel* lbBandRms;

  signals:
    void spectrogramRequested();
    void saveRequested();

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    // How the spectrum is computed and shown.
    void buildSpectrumControls();
    // Peaks, channels, the spectrogram and the file; the labels of what an analysis found.
    void buildResultControls();
    void layOutRows();
    void connectControls();
    // Shows the band RMS in the room the row leaves it, cut short with "…" where it does not fit
    // and then whole in the label's tooltip.
    void fitBandRms();
    QString bandRms_;
};

} // namespace analysis
