#include "consoleplatform.h"

#include <QTextStream>

void ConsolePlatform::showMessage(const QString& text, const QString&, Icon)
{
    err_ << "sorvex-sign-render: "
         << QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")) << Qt::endl;
}

std::optional<Platform::PrintError>
ConsolePlatform::printTwips(const std::function<void(QPainter&)>&)
{
    return PrintError{NoPrinterError, QStringLiteral("not available here")};
}
