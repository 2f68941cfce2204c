#pragma once

#include "output/platform.h"

class QTextStream;

// Messages the drawing code would show in a box: one line on stderr instead.
class ConsolePlatform : public Platform
{
public:
    explicit ConsolePlatform(QTextStream& err) : err_(err) {}
    void showMessage(const QString& text, const QString& caption, Icon icon) override;
    std::optional<SaveAnswer> askSaveFileName(const QString&, const QStringList&,
                                              const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> askOpenFileName(const QString&, const QStringList&) override
    {
        return std::nullopt;
    }
    QStringList askOpenFileNames(const QString&, const QStringList&) override { return {}; }
    ColorAnswer chooseColor(QRgb, const QList<QRgb>&) override { return {}; }
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>&) override;
    bool openUrl(const QUrl&) override { return false; }
    bool confirmReplace(const QString&, const QString&) override { return false; }
    std::optional<QString> askPassword(const QString&, const QString&) override
    {
        return std::nullopt;
    }
    bool askYesNo(const QString&, const QString&) override { return false; }

private:
    QTextStream& err_;
};
