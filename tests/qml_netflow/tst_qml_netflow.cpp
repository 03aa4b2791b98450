// The main window's network-firmware flow with the real controller, dialog and popup.
#include "QmlFixture.h"

#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine) { new QmlFixture(engine); }
};

QUICK_TEST_MAIN_WITH_SETUP(qml_netflow, Setup)
#include "tst_qml_netflow.moc"
