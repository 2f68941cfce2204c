#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>

// A document's file followed by bytes held in memory, read as one file: how the page view is
// shown an update that is never written anywhere.
class AppendedDevice : public QIODevice
{
public:
    AppendedDevice(const QString& path, QByteArray tail, QObject* parent = nullptr);

    bool open(OpenMode mode) override;
    void close() override;
    qint64 size() const override;
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char* data, qint64 length) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile file_;
    QByteArray tail_;
};
