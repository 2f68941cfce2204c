#pragma once

#include "output/platform.h"

// Answers nothing and shows nothing: a measurement never waits for a person.
class QuietPlatform : public Platform
{
public:
    void showMessage(const QString&, const QString&, Icon) override {}
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
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>&) override
    {
        return std::nullopt;
    }
    bool openUrl(const QUrl&) override { return false; }
    bool confirmReplace(const QString&, const QString&) override { return false; }
    std::optional<QString> askPassword(const QString&, const QString&) override
    {
        return std::nullopt;
    }
    bool askYesNo(const QString&, const QString&) override { return false; }
};
