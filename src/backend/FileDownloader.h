#pragma once

#include <QObject>

// Placeholder until downloads land: only the progress signal the controller relays.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    explicit FileDownloader(QObject *parent = nullptr) : QObject(parent) { }

signals:
    void downLoadProgress(int percent, bool isFinish);
};
