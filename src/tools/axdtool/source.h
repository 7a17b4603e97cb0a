#pragma once

// A measurement file as axdtool reads it: the header, calibration, titles and comment read, and
// the data block left where it is (mapped from the file, or in the bytes of standard input), so a
// command pays only for the values it decodes.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/analysisinput.h"
#include "display/chartbuild.h"
#include "files/axdfile.h"

namespace axdtool {

class Source {
  public:
    // path "-" reads standard input. On failure, the message to give (the file's name first).
    std::optional<QString> open(const QString& path);

    const QString& path() const { return path_; }
    const files::AxdContents& contents() const { return read_.contents; }
    display::ChartInput chartInput() const;

    // The plotted values of view 0 (values over time, as the program shows a loaded file) for the
    // wanted series: X, Y, Z, |a|. The others stay empty. The data block's pages are given back
    // as the pass leaves them behind, so the file and its values are not held at once. Values
    // that would not fit in the free memory are refused before anything is reserved: the
    // message to give then.
    std::optional<QString> decode(const display::ChartOptions& options, const std::array<bool, 4>& wanted,
                                  std::array<std::vector<double>, 4>& out);

    // The same values of one series (0 X, 1 Y, 2 Z, 3 |a|), decoded as they are read and never held:
    // an analysis that reads them in order costs no memory of the file's length. Options without
    // smoothing, whose points stand each on their own. The reader needs this source open.
    analysis::PointReader reader(const display::ChartOptions& options, int series) const;

  private:
    QString path_;
    files::AxdReadResult read_;
    QByteArray input_; // standard input's bytes
    std::unique_ptr<QFile> file_;
    const std::uint8_t* data_ = nullptr; // the data block
};

} // namespace axdtool
