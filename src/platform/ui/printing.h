#pragma once

#include <QString>

#include <memory>

class QPrinter;

namespace platform {

// Where printouts go: the system's default printer with its own settings (paper, orientation).
// Tests hand out a printer that writes a PDF file, or none.
class Printers {
  public:
    virtual ~Printers();
    // The default printer ready for a job, or nullptr when the system has none.
    virtual std::unique_ptr<QPrinter> defaultPrinter() = 0;
};

class SystemPrinters : public Printers {
  public:
    std::unique_ptr<QPrinter> defaultPrinter() override;
};

// The message shown when there is no printer to print on.
QString noPrinterMessage();

} // namespace platform
