#include "platform/ui/printing.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace platform {

Printers::~Printers() = default;

std::unique_ptr<QPrinter> SystemPrinters::defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

QString noPrinterMessage()
{
    return QStringLiteral("Принтер по умолчанию не найден. Печать невозможна.");
}

} // namespace platform
